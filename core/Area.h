// A message area. This holds the message base side of an area: where its
// files are, the header index held in memory while in use, the flag counters,
// the body file handle and the queue of new messages waiting to be written.
// The area's settings, registry storage, lock and properties dialog build on
// it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Mail.h"
#include "core/MsgHeader.h"
#include "core/PubLst.h"

namespace velmaris {

// Area types (the AreaType field).
struct AreaTypeCode {
  static constexpr uint8_t Echomail = 0;
  static constexpr uint8_t Badmail = 1;
  static constexpr uint8_t Dupes = 2;
  static constexpr uint8_t Netmail = 3;
  static constexpr uint8_t Separator = 5;
  static constexpr uint8_t Report = 6;
  static constexpr uint8_t Prototype = 7;
  static constexpr uint8_t Storage = 8;
  static constexpr uint8_t EMail = 9;
  static constexpr uint8_t Newsgroup = 10;
};

class TArea : public TObject {
 public:
  static constexpr int kBodyClosed = -2;

  // directory: the message base directory; fileName passes through
  // AreaNameToFileName.
  TArea(const std::string& directory, const std::string& name, const std::string& fileName,
        uint8_t areaType = AreaTypeCode::Echomail);
  ~TArea() override;
  TArea(const TArea&) = delete;
  TArea& operator=(const TArea&) = delete;

  // --- Identity and files -------------------------------------------------
  std::string Name;       // area name (echo tag)
  std::string FileName;   // base name of the area's files
  std::string BaseDir;    // message base directory, ending in "/" (or empty)
  uint8_t AreaType = AreaTypeCode::Echomail;

  // Replaces each of < > / \ : ? * | and the double quote by a full stop.
  static std::string AreaNameToFileName(const std::string& name);
  void SetBaseDir(const std::string& directory);  // adds the trailing "/"
  void SetFileName(const std::string& name);
  // BaseDir + FileName + extension, e.g. FilePath(".PackedIndex").
  std::string FilePath(const std::string& extension) const;

  // --- Index held in memory -----------------------------------------------
  std::vector<TMsgHeader> Headers;  // Count records while IndexLoaded
  bool IndexLoaded = false;
  int32_t IndexUseCount = 0;
  bool IndexChanged = false;        // Headers differ from the file
  int32_t Count = 0;                // number of messages

  // Loads the index on the first use (".PackedIndex", or an empty index when
  // the file does not exist) and counts one use; false when the file exists
  // but cannot be read.
  bool OpenIndex();
  // Counts one use less; the last close writes the index file.
  void CloseIndex();
  // The header at index; raises EAreaHeaderMsgIndexOutOfRange outside
  // 0 .. Count - 1 or when the index is not loaded.
  TMsgHeader& GetHeader(int index);

  // --- Flag counters --------------------------------------------------------
  int32_t UnreadCount = 0;
  int32_t ToSysopCount = 0;
  int32_t UnreadToSysopCount = 0;
  int32_t SendCount = 0;
  int32_t NewUnreadCount = 0;
  int32_t NewUnreadToSysopCount = 0;
  int32_t LastRead = 0;
  int32_t LastImport = -1;  // first message of the last import not yet marked
  // Adds (delta 1) or removes (delta -1) one header's flags.
  void CountFlags(uint16_t flags, int delta);
  void ResetFlagCounters();

  // --- Bodies ---------------------------------------------------------------
  int BodyHandle = kBodyClosed;  // open ".PackedBody", kBodyClosed when closed
  // Opens ".PackedBody" read-only for a run of reads; false when it cannot.
  bool OpenBody();
  void CloseBody();
  // Reads one message; a body that cannot be read or fails its checks gives
  // the substitute message instead. Never null.
  std::unique_ptr<TMail> ReadMail(int index);

  // --- New messages -------------------------------------------------------
  std::vector<std::unique_ptr<TMail>> Queue;  // waiting for WriteQueuedMail
  // Mails handed back by WriteQueuedMail when told not to free them.
  std::vector<std::unique_ptr<TMail>> KeptMails;
  int32_t WrittenCount = 0;  // mails handed to the last WriteQueuedMail
  // Stamps the toss time and appends the mail to the queue; the area takes
  // it over.
  void QueueMail(std::unique_ptr<TMail> mail);
  // Appends the queued mails to both files. True when every queued mail was
  // written; false when the files could not be opened or a mail was given up
  // after a write failure.
  bool WriteQueuedMail(bool freeMails = true, bool markAsImport = false);

  // What the message base last wrote of ".PackedIndex": its size and record
  // count, so that an append can skip re-checking a file it wrote itself.
  struct IndexFileState {
    bool known = false;
    uint64_t size = 0;
    uint32_t count = 0;
  } IndexFile;

 private:
  void ApplyImportMarks(std::vector<TMsgHeader>& headers, int32_t count);
};

// The message that takes the place of a message whose body cannot be read:
// from "Messagebase Controller" to "Current User", subject "Messagebase
// Format Error", carrying the stored header's first four bytes and the body
// offset TMsgHeader::NotStored.
std::unique_ptr<TMail> MakeSubstituteMail(const TArea& area, const TMsgHeader& stored);

}  // namespace velmaris
