#include "app/QtPrompter.h"

#include <algorithm>

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

// A text longer than this (or of more lines) is shown whole in the box's
// details field, opened, which scrolls; above it stands its beginning. So a
// box that names many things (every area a folder lacks) stays one box and
// never grows past the screen.
constexpr qsizetype kLongBoxChars = 480;
constexpr qsizetype kLongBoxLines = 16;
constexpr qsizetype kBoxHeadChars = 240;

bool IsLongBoxText(const QString& text) {
  return text.size() > kLongBoxChars || text.count(QLatin1Char('\n')) >= kLongBoxLines;
}

// The beginning of a long text: its first line, at most kBoxHeadChars,
// cut after a word.
QString BoxHead(const QString& text) {
  QString head = text.left(kBoxHeadChars);
  if (const qsizetype line = head.indexOf(QLatin1Char('\n')); line > 0) head.truncate(line);
  if (head.size() < text.size()) {
    const qsizetype blank = head.lastIndexOf(QLatin1Char(' '));
    if (blank > kBoxHeadChars / 2) head.truncate(blank);
    head += QStringLiteral(" ...");
  }
  return head;
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
  const QString full = BoxText(text);
  const bool longText = IsLongBoxText(full);
  if (longText) {
    box.setText(BoxHead(full));
    box.setDetailedText(full);
  } else {
    box.setText(full);
  }

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
  // The details of a long text are open from the start: the button that
  // shows them is the box's one button of the action role.
  if (longText)
    for (QAbstractButton* button : box.buttons())
      if (box.buttonRole(button) == QMessageBox::ActionRole &&
          std::none_of(made.begin(), made.end(),
                       [button](const auto& m) { return m.first == button; })) {
        button->click();
        break;
      }

  box.exec();
  if (!owned) return fallback;
  MsgButton answer = fallback;
  for (const auto& [button, ours] : made)
    if (box.clickedButton() == button) answer = ours;
  delete owned.data();
  return answer;
}

}  // namespace velmaris
