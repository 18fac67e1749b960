// The mailer window of one profile: the outbound list, the session log, the
// status and line indicators, the remote's identity, and the commands that
// poll, hang up, rescan and remove files. The work is the session's
// (TMailerSession); the window shows it and passes the commands on.
#pragma once

#include <QListView>
#include <QWidget>
#include <functional>
#include <memory>

#include "core/PubLst.h"
#include "mailer/MailerSession.h"
#include "mailer/Mailers.h"

class QAbstractItemView;
class QAction;
class QPoint;
class QLabel;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QProgressBar;
class QTreeWidget;

namespace velmaris {

class TALed;
class TAnimatedSymbol;
class TCMTAPIDevice;
class TConfigStore;
class TSpeedBar;
class TSpeedItem;
struct TNodelistFilter;

// Listed in the window list under its caption while it lives.
class TMailerForm : public QWidget, public TMailerWindow, public TObject {
  Q_OBJECT
 public:
  TMailerForm(TMailer& profile, TConfigStore& store, std::function<void()> startTosser = {},
              QWidget* parent = nullptr);
  ~TMailerForm() override;

  // TMailerWindow.
  std::string DeviceName() const override;
  void SelectDevice(const std::string& name) override;
  void ShowDeviceName() override;
  void SetCaption(const std::string& caption) override;
  void ScanOutbound() override;

  TMailerSession& Session() { return *session_; }
  TCMTAPIDevice& Device() { return *device_; }

  // The outbound list in report view; the icon and list views show the
  // same entries (model and selection shared) in OutboundIcons.
  QTreeWidget* OutboundList;
  QListView* OutboundIcons;
  QMenuBar* MainMenu;
  // Pops up on a right click on an outbound entry.
  QMenu* EntryPopup;
  QPlainTextEdit* LogMemo;
  QLabel *StatusLabel, *DeviceLabel, *SystemLabel, *SysopLabel, *MailerLabel;
  // The line lights: DSR, CD, CTS, RING, TxD, RxD.
  TALed* Leds[6];
  // Plays while a call is made and stands; empty otherwise.
  TAnimatedSymbol* Animate;
  // Send and receive displays: file, position, size, rate, time needed, left.
  QLabel *SendLabel, *ReceiveLabel;
  QProgressBar *SendProgress, *ReceiveProgress;
  // The remote's system, sysop and mailer (shown once the handshake has
  // made them known), the line's name and lights (shown from the connect),
  // and the two displays (shown with the remote): all hidden when the line
  // goes down.
  QWidget *EmsiPanel, *DevicePanel, *SendPanel, *ReceivePanel;
  // The window's commands as buttons; HangupBtn's item is the abort button.
  TSpeedBar* ToolBar;
  TSpeedItem* HangupItem = nullptr;
  QAction *NOde1, *mitMailbox1, *HangupBtn, *RescanBtn, *Entfernen1, *Verbergen1, *Mailer2, *MnPD;
  // Menu only: the view styles (one checked), the settings pages, help.
  QAction *GroeSymbole1, *KleineSymbole1, *Liste1, *Details1;
  QAction *Verbindungen1, *Mailboxen1, *Hilfe1, *Hilfethemen1;

 public slots:
  // Poll > node: the node picked in the nodelist browser.
  void NOde1Click();
  // The same, the browser set to the double-clicked entry's address.
  void OutboundListDblClick();
  void mitMailbox1Click();
  void HangupBtnClick();
  void RescanBtnClick();
  void Entfernen1Click();
  void Mailer2Click();
  void MnPDClick();
  void GroeSymbole1Click();
  void KleineSymbole1Click();
  void Liste1Click();
  void Details1Click();
  void Verbindungen1Click();
  void Mailboxen1Click();
  void Hilfe1Click();
  void Hilfethemen1Click();
  // A right click at pos of the view's viewport: over an entry, the entry
  // becomes the current one and the entry menu pops up at the middle of
  // its caption.
  void OutboundListMouseDown(QAbstractItemView* view, const QPoint& pos);

 private:
  void BuildMenu();
  // The current view of the outbound entries; shown only while idle.
  QAbstractItemView* OutboundView() const;
  void ShowOutbound(bool show);
  // The icon or list view in that style, its menu item checked.
  void SetIconStyle(QAction* style, QListView::ViewMode mode, QListView::Flow flow, int iconSize);
  void FillOutbound();
  void BuildSpeedBar(const std::vector<QAction*>& actions);
  // The lights and the busy sign from the device's line state.
  void ShowLineState();
  void ShowCallStep(TMailerSession::TCallStep step);
  void PollFromNodelist(const char* caption, const TNodelistFilter& start);
  TMailer& profile_;
  TConfigStore& store_;
  std::unique_ptr<TCMTAPIDevice> device_;
  std::unique_ptr<TMailerSession> session_;
  uint64_t settingsSubscription_ = 0;
  bool outboundShown_ = true;
  bool logFollows_ = true;  // the log is scrolled to its end
};

// Makes every new profile's window a TMailerForm and has mailbox calls go
// to the profile's window (shown, redials reset, address polled).
// startTosser runs the import after calls that brought mail (the windows
// hide first).
void InstallMailerForms(TConfigStore& store, TMailerConfig& profiles,
                        std::function<void()> startTosser = {});

}  // namespace velmaris
