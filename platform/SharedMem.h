// Named shared memory for the plug-ins: each block is a file in the user's
// private runtime folder, mapped with mmap(MAP_SHARED) by both sides.
//
// The folder is $XDG_RUNTIME_DIR/velmaris/ (or /tmp/velmaris-<uid>/ when the
// variable is unset). It must be a real directory owned by the user with
// mode 0700; one that is not (a symlink, another owner, wider rights) is
// refused, so no other user can read a block or plant one.
//
// Create and open: the first side to ask for a name creates the file with
// O_CREAT|O_EXCL at the asked size (Created true); a later side opens the
// existing file (Created false) and maps it only when it is at least the
// asked size, so a reader never maps past the end of a short block. The
// side that created a block removes its file when it lets go of it; a
// mapping the other side still holds stays valid.
//
// The program never touches a mapping of a file a plug-in can reach: the
// plug-in may shrink the file while the program copies (SIGBUS). It makes
// its own blocks with pwrite (TOwnSharedBlock) and reads a plug-in's with
// pread from the descriptor (ReadSharedBlock); TSharedMem is the plug-in
// side's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmaris::platform {

// The private folder of the blocks and sockets, ending in "/"; created when
// missing. Raises EFile when it cannot be made or is not private.
std::string PluginRuntimeFolder();
// Makes the folder (mode 0700) when missing and checks that it is a
// directory owned by this user that no one else may enter. Raises EFile.
void EnsurePrivateFolder(const std::string& folder);

// "KQ" + word + the id as 8 upper-case hexadecimal digits.
std::string SharedBlockName(const std::string& word, uint32_t threadId);

class TSharedMem {
 public:
  // folder: a private folder (ending in "/"); name: the block's full name
  // (letters and digits only, else the block stays missing).
  TSharedMem(const std::string& folder, const std::string& name, uint32_t size);
  ~TSharedMem();
  TSharedMem(const TSharedMem&) = delete;
  TSharedMem& operator=(const TSharedMem&) = delete;

  std::string Name;
  uint32_t Size = 0;
  bool Created = false;      // this object made the block
  uint8_t* Buffer = nullptr;  // the mapped view, null when mapping failed

  // A block made by the other side: existed already and is mapped.
  bool Existing() const { return !Created && Buffer != nullptr; }

 private:
  std::string path_;
};

// A block this side makes for the other: created new (O_EXCL) and filled
// with pwrite; its file is removed when the object goes. Created is false
// when the name was taken or unusable, or the bytes could not be written.
class TOwnSharedBlock {
 public:
  TOwnSharedBlock(const std::string& folder, const std::string& name, const uint8_t* data,
                  size_t size);
  ~TOwnSharedBlock();
  TOwnSharedBlock(const TOwnSharedBlock&) = delete;
  TOwnSharedBlock& operator=(const TOwnSharedBlock&) = delete;

  bool Created = false;

 private:
  std::string path_;
};

// The first `size` bytes of a block the other side made, read with pread;
// nothing when it is missing, not a regular file of this user, or shorter.
std::optional<std::vector<uint8_t>> ReadSharedBlock(const std::string& folder,
                                                    const std::string& name, uint32_t size);

// Removes every block file in the folder whose name starts with "KQ" and
// ends in the id's 8 hex digits: what a plug-in that ended in the middle of
// a request left behind. Returns how many went.
int RemoveBlocksOf(const std::string& folder, uint32_t threadId);

}  // namespace velmaris::platform
