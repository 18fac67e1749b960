// The area-list manager: per uplink the echo areas (or file areas) its robot
// offers, which of them the point has ordered, and the request netmails that
// order, drop or list areas at the uplink's AreaFix or FileScan robot.
//
// Two managers live for the whole run: "EchoAreas" works with the uplinks'
// AreaFix values (receiver, password, sender, list columns), "FileAreas"
// with their FileScan values.
//
// Stored state, one text file per uplink and list in the message base
// directory: zone.net.node.point.<ListName> (for the uplink 1:2/3 the name
// ends in "1.2.3.0.EchoAreas"). One line per area of that uplink, in the
// order of the list: "* " for an ordered area or ". " for another, the tag,
// one blank, the description, then LF.
//
// Area lists arrive as text (a robot's netmail or a file the user loads);
// each line is cut at the columns configured for the uplink (ParseAreaLine).
// A long list split over several messages simply adds up: each part adds
// the areas not known yet.
//
// Request netmail, one per uplink, written into NETMAIL under an exclusive
// lock: from the uplink's sysop name and own address to the robot's name at
// the uplink's address, the robot password as subject, flags 0x0840, a PID
// kludge and no tear, origin or SEEN-BY line. Its text is one command per
// line: "%LIST", "%QUERY", "+TAG" (order), "-TAG" (drop).
//
// State moves of an entry: known(not ordered) -> ordered [Move + SendChanges]
// -> known [Move + SendChanges]; Move alone only changes the views (changes
// pending) until SendChanges stores and sends them or CancelChanges drops them.
//
// Threads: everything runs on the main thread (asserted). The tosser reaches
// the managers from its worker through TAreaManagers, which hands each
// registration to the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/DateTimeUtil.h"
#include "processing/Tosser.h"

namespace velmaris {

class TArea;
class TConfigStore;
class TKQMail;
class TLinkList;
class TMail;
class TNetLink;

// One offered area.
struct TAreaInfo {
  bool Subscribed = false;  // ordered
  std::string Name;         // the tag as the list spells it
  std::string Description;
  TNetLink* Uplink = nullptr;  // the uplink that offers it (not owned)
};

// The areas of all uplinks, owning its entries. Order: Name by byte
// comparison, then the uplink's address.
class TAreaInfoList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TAreaInfo* Get(int index) const { return items_[static_cast<size_t>(index)].get(); }
  void Sort();
  // Binary search (the list sorted) for the same name and an equal uplink
  // address; the index or -1.
  int FindEntry(const TAreaInfo& entry) const;
  bool Contains(const TAreaInfo& entry) const { return FindEntry(entry) >= 0; }
  // Binary search by name only; the index of some entry of that name or -1.
  int IndexOfName(const std::string& name) const;
  // Appends a new entry (the list is unsorted afterwards).
  TAreaInfo* AddInfo(const std::string& name, const std::string& description, bool subscribed,
                     TNetLink* uplink);
  void Remove(const TAreaInfo* entry);
  void Clear() { items_.clear(); }

  static bool Less(const TAreaInfo& a, const TAreaInfo& b);

 private:
  std::vector<std::unique_ptr<TAreaInfo>> items_;
};

// Tag recognition: the longest run from the start of digits, capital letters
// and % & - . / \ _ and the byte 0xA7, starting with a digit or a capital,
// that ends the text or is followed by a character of code 32 or less.
bool ParseAreaTag(const std::string& text, std::string& tag);
// Line recognition for lines[index]: the text from column nameO (from 1)
// must start with a tag; the description row index + descL must exist, not
// be empty, not be a kludge line (byte 1) nor begin with "AREA:"; the
// description is that row from column descO (empty for descO below 1).
bool ParseAreaLine(const std::vector<std::string>& lines, int index, int nameO, int descO,
                   int descL, std::string& description, std::string& tag);

// A message text cut into lines at each CR; a last part without CR counts
// when it is not empty. LF bytes are dropped (lines may end in CR LF).
std::vector<std::string> SplitMailLines(std::string_view text);
// The lines of a text file: ended by CR LF, LF or CR.
std::vector<std::string> SplitFileLines(std::string_view text);

enum class TRobotKind { AreaFix, FileScan };

// The robot values of an uplink for one kind.
struct TRobotLayout {
  std::string Receiver, Password, Sender;
  int32_t NameO = 1, DescO = 0, DescL = 0;
};
TRobotLayout RobotLayoutOf(const TNetLink& link, TRobotKind kind);

// The request commands of the robots.
enum class TRobotCommand { Subscribe, Unsubscribe, List, Query };
std::string RobotCommandLine(TRobotCommand command, const std::string& tag = {});

// A robot's area-list mail: the uplink it came from (the first whose
// address equals the mail's origin, nullptr when none), the kind of list its
// sender name gives (the uplink's AreaFix sender, else its FileScan sender,
// exact comparisons; none when neither), and its body (OEM) as ANSI lines.
TNetLink* UplinkOfListMail(TLinkList& links, const TMail& mail);
std::optional<TRobotKind> ListKindOfSender(const TNetLink& link, const std::string& from);
std::vector<std::string> AreaListLines(const TMail& mail);
// Adds the subject to the uplink's list titles of the kind unless it is
// there already.
void AddListTitle(TNetLink& link, TRobotKind kind, const std::string& subject);
// The user said which kind of list the sender sends: the sender becomes the
// uplink's robot sender of that kind and the subject one of its list titles.
void RememberListSender(TNetLink& link, TRobotKind kind, const std::string& from,
                        const std::string& subject);

// One request netmail to the uplink's robot (not yet stored): the header
// described above and the given text lines.
std::unique_ptr<TKQMail> ComposeRobotRequest(TConfigStore& store, const TNetLink& link,
                                             TRobotKind kind, TArea* netmail,
                                             const std::vector<std::string>& lines);

class TAreaManager {
 public:
  static constexpr const char* kEchoAreas = "EchoAreas";
  static constexpr const char* kFileAreas = "FileAreas";
  static constexpr const char* kNoNetmail = "You have no NETMAIL area!";
  static constexpr const char* kNoChanges = "No changes!";
  static constexpr const char* kChangesSent =
      "Changes will be sent to your uplink. It may take some days until the changes take effect.";
  static constexpr const char* kListRequested =
      "On the next poll Velmaris will sent a request to your uplink to return a new  area list. "
      "You will probably receive this list on your next poll. It is also possible taht your "
      "uplink processes the request later. In this case it may take a longer time until you "
      "receive the updated list, in some cases several days. After receiving the new list you "
      "may have to manually initiate the list processor by right clicking on the mail text in "
      "the message reader and selecting the\"Us As Area List\" menu item. If you already did "
      "this once for the uplink  the area list will be processed automatically based on the "
      "last parameter set. Velmaris will then notify you on import and  you do not need to "
      "setup the area list parser again.";
  static constexpr const char* kWasAlreadySigned = "Was already signed";
  static constexpr const char* kEndOfList = "End of List. Do you want to continue fram start?";

  explicit TAreaManager(TConfigStore& store);

  // --- Identity ---------------------------------------------------------------
  // When the name differs: stores it, loads the data and sets the caption.
  void SetListName(const std::string& name);
  const std::string& ListName() const { return listName_; }
  std::string RobotName = "AreaFix";
  const std::string& Caption() const { return caption_; }
  TRobotKind Kind() const;
  TConfigStore& Store() { return store_; }

  // --- The lists ---------------------------------------------------------------
  const TAreaInfoList& All() const { return all_; }
  const std::vector<TAreaInfo*>& Ready() const { return ready_; }   // not ordered
  const std::vector<TAreaInfo*>& Selected() const { return sel_; }  // ordered
  bool ChangesPending() const { return changesPending_; }
  // "<n> areas available; <m> signed", " (Changes unsaved)" while pending.
  std::string StatusText() const;
  // Called whenever the lists change (the window redraws).
  std::function<void()> OnRefresh;
  // The clock of the request messages (now when not set).
  std::function<TDateTime()> Clock;

  // --- Data files -------------------------------------------------------------
  std::string DataFilePath(const TNetLink& link) const;
  void LoadData();
  void SaveData();

  // --- Area lists ---------------------------------------------------------------
  // Every recognised line adds a not-ordered entry of the uplink unless the
  // tag is known for that uplink's address. The number added.
  int AddAreaList(const std::vector<std::string>& lines, TNetLink& uplink, int nameO, int descO,
                  int descL);
  // A not-ordered entry unless one of that tag and address exists.
  void AddAreaInfo(const std::string& name, const std::string& description, TNetLink& uplink);
  // A robot's list mail from that uplink: the body (OEM) read as ANSI lines
  // into AddAreaList with this manager's columns of the uplink; the subject
  // joins the uplink's list titles. The number of new areas.
  int RegisterAreaListMail(const TMail& mail, TNetLink& uplink);

  // --- Moves in the window ------------------------------------------------------
  // Moves the entry to the other view; changes pending.
  void Move(TAreaInfo* entry);
  // Views rebuilt from the stored states; nothing pending.
  void CancelChanges();
  // Removes the entry and writes the data files.
  void DeleteEntry(TAreaInfo* entry);

  // --- Commands -------------------------------------------------------------------
  // "%LIST" to every uplink's robot. True when the requests were written.
  bool RequestList();
  // "%QUERY" to the uplink's robot (the ordered areas as the robot sees them).
  bool RequestQuery(TNetLink& uplink);
  // The pending moves as "+TAG"/"-TAG" requests, one message per uplink
  // with changes; for echo areas each "+" also adds a local echo area bound
  // to the uplink. On a missing or busy NETMAIL nothing is stored and the
  // changes stay pending. True when requests were written.
  bool SendChanges();
  // Orders one area at once (as Move and SendChanges would): the entry of
  // that tag and uplink (added when unknown) becomes ordered and "+TAG" goes
  // to the robot. True when the request was written.
  bool OrderArea(const std::string& tag, TNetLink& uplink);
  // Every local echo area counts as ordered (an entry "Was already signed"
  // added where the list has none); no request is sent.
  void MarkPresentAreas();
  // The first entry after the given one (in list order) whose upper-cased
  // tag contains the upper-cased text; at the end the user is asked whether
  // to go on from the start. Null when nothing is found or the user stops.
  TAreaInfo* Search(const std::string& text, const TAreaInfo* after);

 private:
  // The views from the stored states; keepMoves keeps the pending moves.
  void RebuildViews(bool keepMoves = false);
  void Refresh();
  // Writes one request per (uplink, lines) into NETMAIL under an exclusive
  // lock. False (with the box shown) when NETMAIL is missing or busy.
  bool WriteRequests(const std::vector<std::pair<TNetLink*, std::vector<std::string>>>& requests);
  TRobotLayout Layout(const TNetLink& link) const { return RobotLayoutOf(link, Kind()); }

  TConfigStore& store_;
  std::string listName_;
  std::string caption_;
  TAreaInfoList all_;
  std::vector<TAreaInfo*> ready_, sel_;
  bool changesPending_ = false;
};

// The two managers of the run, and the tosser's way to them: a registration
// from the tosser's thread is handed to the main thread and waited for.
class TAreaManagers : public TAreaListReceiver {
 public:
  explicit TAreaManagers(TConfigStore& store);
  TAreaManager& Echo() { return echo_; }
  TAreaManager& Files() { return files_; }

  int RegisterAreaListMail(const TMail& mail, TNetLink& uplink, bool fileScan) override;
  // A list mail of any uplink: the first uplink whose address equals the
  // origin; its AreaFix sender picks the echo manager, else its FileScan
  // sender the file manager (exact comparisons). 0 when none matches.
  int RegisterAreaListMail(const TMail& mail);

 private:
  TConfigStore& store_;
  TAreaManager echo_, files_;
};

// The process-wide managers that a tosser uses when its setup names none;
// null while none is set.
TAreaListReceiver* GetAreaListReceiver();
void SetAreaListReceiver(TAreaListReceiver* receiver);

}  // namespace velmaris
