// Fixture makers for the archive tests: a small ZIP writer for hand-made
// entries, encoders for the old PKWARE methods written from the format
// description (shrink, reduce, implode), and a minimal PE file builder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmaris::test {

struct ZipFixtureEntry {
  std::string name;
  std::string data;  // the bytes as stored (already compressed)
  uint16_t method = 0;
  uint16_t flags = 0;
  uint32_t crc = 0;  // of the uncompressed bytes
  uint32_t usize = 0;
  uint32_t extAttr = 0;
  std::string extra;  // the extra field, in the local and the central header
};
// Makes a stored entry (method 0) with its CRC and size.
ZipFixtureEntry StoredEntry(const std::string& name, const std::string& content);
// A complete archive: local headers, data, central directory, end record.
std::string BuildZip(const std::vector<ZipFixtureEntry>& entries, const std::string& comment = {});

// Encoders of the old methods.
std::string ShrinkEncode(const std::string& in, bool partialClear);
std::string ReduceEncode(const std::string& in, int factor, bool followerSets);
std::string ImplodeEncode(const std::string& in, bool bigDict, bool literalTree);

// An executable with an MZ header, a PE header and a string table whose
// strings 1..n are the given texts; the file is padded to padTo bytes.
std::string BuildPeWithStrings(const std::vector<std::string>& strings, size_t padTo);
// A bare DOS executable of the given size (MZ header, image end = size).
std::string BuildDosStub(size_t size);

uint32_t Crc32Of(const std::string& s);
std::string ReadFileBytes(const std::string& path);
// Writes the file, making its directory first.
void WriteFileBytes(const std::string& path, const std::string& bytes);
// A text of the given size with repetitions, for compressible content.
std::string SampleText(size_t size, unsigned seed = 1);
std::string RandomBytes(size_t size, unsigned seed = 7);
// A type-2 FidoNet packet of at least `size` bytes: the 58-byte header,
// packed messages of SampleText and the two NULs that end every packet.
std::string FidoPacket(size_t size, unsigned seed = 1);
// A mail text of base64 lines (76 columns, each ended by CR), as a netmail
// with an attachment carries: the base64 of RandomBytes(size / 4 * 3, seed).
std::string Base64Text(size_t size, unsigned seed);
// Shell quoting for RunShell.
std::string Sh(const std::string& s);
// True when the program is in PATH.
bool HaveTool(const std::string& name);

// Runs `command` (which writes the encrypted archive `zipPath`) until none of
// the wrong passwords passes the one-byte check of the first entry's
// encryption header: zip draws that header at random, and one wrong password
// in 256 would pass by chance. Returns the last exit status.
int MakeEncryptedZip(const std::string& command, const std::string& zipPath,
                     const std::vector<std::string>& wrongPasswords);

}  // namespace velmaris::test
