// The assistant that adds an uplink: its name and address, the point's own
// name and address under it, the packet and session passwords, the AreaFix
// and FileScan passwords, the mailbox that calls it and the packer of its
// bundles; the last page adds the uplink (and its mailbox) to the
// configuration and saves it. An address that does not parse, or the empty
// address, keeps the user on its page.
#pragma once

#include <memory>

#include "processing/forms/AssistentFrame.h"

class QComboBox;
class QLineEdit;

namespace velmaris {

class TConfigStore;
class TFidonetAddress;
class TNetLink;
class TPckList;

class TAddLinkAssistent : public TAssistentFrame {
  Q_OBJECT

 public:
  enum Page { Intro, LinkPage, SysopPage, PasswordPage, RobotPage, MailboxPage, ReportPage };
  static constexpr const char* kNoMailerText =
      "Please enter the mailer profile or the program that calls this uplink!";

  // packers: the packer list offered for the bundles (may be null).
  TAddLinkAssistent(TConfigStore& store, TPckList* packers, QWidget* parent = nullptr);
  ~TAddLinkAssistent() override;

  // The uplink the last run added; null before.
  TNetLink* AddedLink() const { return added_; }

  QLineEdit *NewLinkName, *NewLinkAddress, *NewSysopName, *NewSysopAddress, *NewPassword,
      *NewSessionPassword, *EdAreafix, *EdFileScan, *NewPhone, *NewMailboxCommand;
  QComboBox* NewPacker;

  void NewLinkAddressExit();
  void NewSysopAddressExit();

 protected:
  void NB_DELPageChanged() override;
  void DEL_CancelClick() override;
  void Reset() override;

 private:
  QLineEdit* AddEdit(QVBoxLayout* page, const char* name, const QString& label);
  // Whether the field holds an address that is not empty; says so when not.
  bool CheckAddress(QLineEdit* edit, TFidonetAddress& address);
  // The mailbox must name how it is called: a profile or a program.
  bool CheckMailer();
  void AddLink();

  TConfigStore& store_;
  TPckList* packers_;
  // Owned by the form; they keep the last valid address of each field.
  std::unique_ptr<TFidonetAddress> linkAddress_, sysopAddress_;
  TNetLink* added_ = nullptr;
};

}  // namespace velmaris
