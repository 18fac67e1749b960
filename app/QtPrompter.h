// Message boxes of the application: a QMessageBox shown on the main thread,
// whichever thread asks.
#pragma once

#include "platform/Prompter.h"

class QWidget;

namespace velmaris {

class QtPrompter : public platform::Prompter {
 public:
  explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  platform::MsgButton Ask(platform::MsgKind kind, const std::string& text,
                          platform::MsgButtons buttons, const std::string& caption = {}) override;

 private:
  platform::MsgButton Show(platform::MsgKind kind, const std::string& text,
                           platform::MsgButtons buttons, const std::string& caption);
  QWidget* parent_;
};

}  // namespace velmaris
