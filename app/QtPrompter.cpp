#include "app/QtPrompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include "platform/CodePage.h"
#include "platform/Dispatcher.h"

namespace velmaris {

using platform::MsgButton;
using platform::MsgButtons;
using platform::MsgKind;

namespace {

struct ButtonInfo {
  MsgButton ours;
  QMessageBox::StandardButton qt;  // NoButton: a button of our own with `text`
  const char* text;
};

// In the order the buttons stand in the box.
constexpr ButtonInfo kButtons[] = {
    {platform::mbYes, QMessageBox::Yes, nullptr},
    {platform::mbNo, QMessageBox::No, nullptr},
    {platform::mbOk, QMessageBox::Ok, nullptr},
    {platform::mbCancel, QMessageBox::Cancel, nullptr},
    {platform::mbAbort, QMessageBox::Abort, nullptr},
    {platform::mbRetry, QMessageBox::Retry, nullptr},
    {platform::mbIgnore, QMessageBox::Ignore, nullptr},
    {platform::mbAll, QMessageBox::NoButton, "All"},
    {platform::mbNoToAll, QMessageBox::NoToAll, nullptr},
    {platform::mbYesToAll, QMessageBox::YesToAll, nullptr},
    {platform::mbHelp, QMessageBox::Help, nullptr},
};

// A box text: UTF-8; a text that is not well-formed UTF-8 carries stored
// bytes that were not converted, and is read in the ANSI code page.
QString BoxText(const std::string& text) {
  return QString::fromStdString(platform::IsUtf8(text) ? text : platform::AnsiToUtf8(text));
}

// The window a box belongs to: the newest modal window, else the active
// window, else the fallback. A pop-up or tool window hands it on to the
// window it belongs to. The box is transient for that window, so that a
// window manager shows it above it.
QWidget* BoxOwner(QWidget* fallback) {
  QWidget* w = QApplication::activeModalWidget();
  if (!w) w = QApplication::activeWindow();
  while (w && (w->windowType() == Qt::Tool || w->windowType() == Qt::Popup ||
               w->windowType() == Qt::ToolTip || w->windowType() == Qt::SplashScreen))
    w = w->parentWidget() ? w->parentWidget()->window() : nullptr;
  if (!w || !w->isVisible()) w = fallback;
  return w ? w->window() : nullptr;
}

}  // namespace

MsgButton QtPrompter::Ask(MsgKind kind, const std::string& text, MsgButtons buttons,
                          const std::string& caption) {
  MsgButton answer = platform::mbNone;
  platform::GetDispatcher().Send([&] { answer = Show(kind, text, buttons, caption); });
  return answer;
}

MsgButton QtPrompter::Show(MsgKind kind, const std::string& text, MsgButtons buttons,
                           const std::string& caption) {
  if (buttons == platform::mbNone) buttons = platform::mbOk;
  // The window the box belongs to may go while the box is up, and takes the box with it.
  const QPointer<QMessageBox> owned = new QMessageBox(BoxOwner(parent_));
  QMessageBox& box = *owned;
  box.setObjectName("MessageBox");
  switch (kind) {
    case MsgKind::Information: box.setIcon(QMessageBox::Information); break;
    case MsgKind::Error: box.setIcon(QMessageBox::Critical); break;
    case MsgKind::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgKind::Confirmation: box.setIcon(QMessageBox::Question); break;
  }
  QString title = BoxText(caption);
  if (title.isEmpty()) title = QApplication::applicationName();
  box.setWindowTitle(title);
  box.setText(BoxText(text));

  std::vector<std::pair<QAbstractButton*, MsgButton>> made;
  for (const auto& b : kButtons) {
    if (!(buttons & b.ours)) continue;
    QAbstractButton* button =
        b.qt != QMessageBox::NoButton
            ? static_cast<QAbstractButton*>(box.addButton(b.qt))
            : box.addButton(QString::fromLatin1(b.text), QMessageBox::AcceptRole);
    made.emplace_back(button, b.ours);
  }
  // Escape and the close box give the answer that ends the command.
  const MsgButton fallback = platform::CloseAnswer(buttons);
  for (const auto& [button, ours] : made)
    if (ours == fallback) box.setEscapeButton(button);

  box.exec();
  if (!owned) return fallback;
  MsgButton answer = fallback;
  for (const auto& [button, ours] : made)
    if (box.clickedButton() == button) answer = ours;
  delete owned.data();
  return answer;
}

}  // namespace velmaris
