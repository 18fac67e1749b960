// The search over many areas: the areas chosen, in list order, each under a
// shared lock, each message tested against a search mask. The hits are told
// in area and index order. With more than one thread the next areas are
// locked and their indexes loaded ahead, side by side, while earlier ones
// are searched; an area busy elsewhere is waited for at its turn.
//
// Header conditions (flags, sender, recipient, subject) are tested on the
// index held in memory; only messages that pass them have their bodies read,
// and only when the text condition is used. Bodies are read from the mapped
// body file and tested by several threads at once, a batch at a time; the
// caller's thread emits the hits of a batch in order and checks for an abort
// after every message, so an abort ends the search after the message that
// was being told.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/SearchRequest.h"

namespace velmaris {

class TArea;
class TAreaList;
struct TMsgHeader;

struct TSearchHit {
  int AreaIndex = -1;  // position in the area list when it was found
  int MsgIndex = -1;   // index in the area
  std::string Line;    // the result line, in the ANSI page
  // The area's name: what finds the area again once areas have been moved
  // or deleted after the search.
  std::string AreaName;
};

// The result line: AREA #7: from to to about "subject", in the ANSI page as
// the header's names are; areaName is the area's name written in it
// (TArea::NameInAnsi).
std::string SearchHitLine(const std::string& areaName, int msgIndex, const TMsgHeader& header);

// What the search window shows while the search runs. The search calls
// these on its own thread; ProcessMessages keeps the interface alive (the
// window's buttons, the abort) and is called after every batch of messages
// and between tries of a busy area's lock.
class TSearchView {
 public:
  virtual ~TSearchView() = default;
  virtual void AreaLabel(const std::string& text) = 0;
  virtual void MailLabel(const std::string& text) = 0;
  virtual void AreaProgress(int position, int max) = 0;
  virtual void MailProgress(int position, int max) = 0;
  virtual void AddHit(const TSearchHit& hit) = 0;
  virtual void ProcessMessages() = 0;
};

class TAreaSearch {
 public:
  TAreaSearch(const TSearchRequest& request, TSearchView& view);

  // Searches the areas at the given list positions (in list order whatever
  // their order here). Separators count in the progress but are skipped.
  // Ends with the area label "Done", or "Search aborted".
  void Run(TAreaList& areas, std::vector<int> rows);
  // From the view's callbacks or another thread.
  void RequestAbort() { abort_ = true; }
  bool AbortRequested() const { return abort_; }

  // Threads that test bodies (1: the caller's thread alone).
  unsigned Threads;
  // Messages per batch of the body test.
  size_t BatchSize = 16384;
  // Bytes of message text tested in the last run (for the figures).
  uint64_t TextBytes() const { return textBytes_; }

 private:
  struct Ahead;
  // False when the search was aborted. opened is set when the area was
  // locked and its index opened ahead (to whether that succeeded).
  bool SearchArea(TArea& area, int areaIndex, std::optional<bool> opened);
  // Tests the bodies of candidates [first, last) into matches.
  void TestBodies(std::string_view bodyFile, const std::vector<TMsgHeader>& headers,
                  const std::vector<int>& candidates, size_t first, size_t last,
                  std::vector<char>& matches);

  const TSearchRequest& request_;
  TSearchView& view_;
  std::atomic<bool> abort_{false};
  std::atomic<uint64_t> textBytes_{0};
};

}  // namespace velmaris
