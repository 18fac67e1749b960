// The message editor's commands on the text: quote continuation on Enter,
// line deletion, reflow, ROT13, inserting text and UUencoded files, and
// find and replace.
#include "app/MessageEditor.h"

#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>

#include "app/SearchAndReplace.h"
#include "app/logic/EditorText.h"
#include "app/logic/MsgText.h"
#include "core/forms/FormText.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "widgets/ModalHook.h"

namespace velmaris {

namespace {

constexpr int kMaxEditorChars = 1600000;
// A text file inserted into the text may be at most this long (the editor
// holds no more).
constexpr qint64 kMaxInsertSize = kMaxEditorChars;

}  // namespace

// --- Editor keys and commands ----------------------------------------------------------

bool TMessageEditor::eventFilter(QObject* watched, QEvent* event) {
  if (watched == NewReceiver && event->type() == QEvent::FocusOut) NewReceiverExit();
  if (watched != Editor) return QMainWindow::eventFilter(watched, event);
  if (event->type() == QEvent::ShortcutOverride) {
    // The window's commands win over the edit's own keys (Ctrl+A inserts a
    // file here, Ctrl+Y deletes a line), except the clipboard and undo keys.
    auto* key = static_cast<QKeyEvent*>(event);
    const QKeySequence pressed(key->keyCombination());
    for (QAction* action : actions()) {
      if (action->shortcut() != pressed) continue;
      const QString name = action->objectName();
      if (name == "MnCut" || name == "MnCopy" || name == "MnPaste" || name == "Undo1") break;
      return true;
    }
  }
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        !(key->modifiers() & ~Qt::KeypadModifier) && QuoteContinuation())
      return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

bool TMessageEditor::QuoteContinuation() {
  QTextCursor cursor = Editor->textCursor();
  if (cursor.hasSelection()) return false;
  const QTextBlock block = cursor.block();
  const std::string line = AnsiBytes(block.text());
  const int column = cursor.position() - block.position() + 1;
  const std::optional<TQuoteBreak> split = ContinueQuote(line, column);
  if (!split) return false;
  cursor.beginEditBlock();
  cursor.setPosition(block.position());
  cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
  cursor.insertText(AnsiText(split->First) + QChar('\n') + AnsiText(split->Second));
  cursor.endEditBlock();
  // The caret goes to the start of the new line.
  cursor.setPosition(block.next().position());
  Editor->setTextCursor(cursor);
  return true;
}

void TMessageEditor::Undo1Click() { Editor->undo(); }

void TMessageEditor::Zeilelschen1Click() {
  QTextBlock block = Editor->document()->findBlockByNumber(curLine_);
  if (!block.isValid()) return;
  QTextCursor cursor(block);
  cursor.select(QTextCursor::BlockUnderCursor);
  if (block.blockNumber() == 0) {
    // The first line: its text and the break after it.
    cursor.setPosition(block.position());
    cursor.setPosition(
        std::min(block.position() + block.length(), Editor->document()->characterCount() - 1),
        QTextCursor::KeepAnchor);
  }
  cursor.removeSelectedText();
  Editor->setTextCursor(cursor);
}

void TMessageEditor::Quotesneuumbrechen1Click() {
  QTextCursor cursor = Editor->textCursor();
  if (!cursor.hasSelection()) cursor.select(QTextCursor::Document);
  // The selection's paragraph separators become CR for the routine.
  QString selected = cursor.selectedText();
  selected.replace(QChar::ParagraphSeparator, QChar('\n'));
  QString flowed = AnsiText(ReflowQuotes(AnsiBytes(selected)));
  flowed.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  cursor.insertText(flowed);
}

void TMessageEditor::Rot131Click() {
  QTextCursor cursor = Editor->textCursor();
  if (!cursor.hasSelection()) return;
  const int start = cursor.selectionStart();
  QString selected = cursor.selectedText();
  selected.replace(QChar::ParagraphSeparator, QChar('\n'));
  std::string bytes = AnsiBytes(selected);
  Rot13(bytes);
  const QString rotated = AnsiText(bytes);
  cursor.insertText(rotated);
  cursor.setPosition(start);
  cursor.setPosition(start + rotated.size(), QTextCursor::KeepAnchor);
  Editor->setTextCursor(cursor);
}

void TMessageEditor::InsertAtCaret(const std::string& ansiText) {
  // Through the clipboard, as a paste; the clipboard's text is put back.
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QString kept = clipboard->text();
  QString text = AnsiText(ansiText);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QChar('\r'), QChar('\n'));
  clipboard->setText(text);
  Editor->paste();
  clipboard->setText(kept);
}

void TMessageEditor::InsertTextFile(bool fromOem) {
  QFileDialog dialog(this, QStringLiteral("Вставить текстовый файл"));
  dialog.setObjectName("InsertTextDialog");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters({QStringLiteral("Текстовые файлы (*.txt *.doc *.lst *.1st *.rtf)"),
                         QStringLiteral("Все файлы (*)")});
  if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const std::string path = PathBytes(dialog.selectedFiles().front());
  const std::string quoted = "\"" + path + "\"";
  std::string content;
  try {
    if (!platform::FileExists(path)) throw std::runtime_error("open");
    if (QFileInfo(QString::fromStdString(path)).size() > kMaxInsertSize) {
      platform::GetPrompter().Error("Could not read file " + quoted + ". The file is longer than " +
                                    std::to_string(kMaxInsertSize) + " bytes!");
      return;
    }
    content = platform::ReadFile(path);
  } catch (const std::exception&) {
    const bool exists = platform::FileExists(path);
    platform::GetPrompter().Error(
        "Could not read file " + quoted +
        (exists ? ". The file is damaged!" : ". File could not be opened!"));
    return;
  }
  InsertAtCaret(platform::TextFileToAnsi(content, fromOem));
}

void TMessageEditor::BinrdateiUUEncoden1Click() {
  QFileDialog dialog(this, QStringLiteral("UU-кодированный файл"));
  dialog.setObjectName("UUEncodeDialog");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const std::string path = PathBytes(dialog.selectedFiles().front());
  const std::string quoted = "\"" + path + "\"";
  if (!platform::FileExists(path)) {
    platform::GetPrompter().Error("Could not read file " + quoted + ". File could not be opened!");
    return;
  }
  if (QFileInfo(QString::fromStdString(path)).size() > static_cast<qint64>(kMaxUUEncodeSize)) {
    platform::GetPrompter().Error("UUEncoded data may not be longer than 65000 Bytes!");
    return;
  }
  std::string data;
  try {
    data = platform::ReadFile(path);
  } catch (const std::exception&) {
    platform::GetPrompter().Error("File " + quoted + ". The file is damaged!");
    return;
  }
  if (data.size() > kMaxUUEncodeSize) {
    platform::GetPrompter().Error("UUEncoded data may not be longer than 65000 Bytes!");
    return;
  }
  InsertAtCaret(UUEncodeText(platform::LogName(path), data));  // the name as message text
}

// --- Find and replace ------------------------------------------------------------------

bool TMessageEditor::FindNext(const std::string& text, bool matchCase, bool wholeWord) {
  if (text.empty()) return false;
  QTextDocument::FindFlags flags;
  if (matchCase) flags |= QTextDocument::FindCaseSensitively;
  if (wholeWord) flags |= QTextDocument::FindWholeWords;
  const QString needle = AnsiText(text);
  const QTextCursor current = Editor->textCursor();
  const int start =
      current.hasSelection() || current.position() > 0 ? current.selectionStart() + 1 : 0;
  QTextCursor found = Editor->document()->find(needle, start, flags);
  if (found.isNull()) {
    if (!platform::GetPrompter().Confirm("End of text reached.  Continue form start ?")) {
      lastMatch_ = -1;
      return false;
    }
    found = Editor->document()->find(needle, 0, flags);
    if (found.isNull()) {
      lastMatch_ = -1;
      QTextCursor home = Editor->textCursor();
      home.setPosition(0);
      Editor->setTextCursor(home);
      return false;
    }
  }
  Editor->setTextCursor(found);
  lastMatch_ = found.selectionStart();
  return true;
}

void TMessageEditor::RunSearchForm(bool replace) {
  TSARForm form(this);
  form.setObjectName("SARForm");
  form.SetFindOnly(!replace);
  form.SetFindText(AnsiText(searchText_));
  if (replace) form.SetReplaceText(AnsiText(replaceText_));
  // Each button works with what the form holds at that moment.
  auto take = [this, replace](TSARForm& f) {
    searchText_ = AnsiBytes(f.GetFindText());
    if (replace) replaceText_ = AnsiBytes(f.GetReplaceText());
    matchCase_ = f.GetCaseSensitive();
    wholeWord_ = f.GetWholeWords();
  };
  form.OnFind = [this, take](TSARForm& f) {
    take(f);
    SARFind();
  };
  if (replace) {
    form.OnReplace = [this, take](TSARForm& f) {
      take(f);
      SARReplace();
    };
    form.OnReplaceAll = [this, take](TSARForm& f) {
      take(f);
      SARReplaceAll();
    };
  }
  ExecModal(form);
  take(form);
  searchReady_ = true;
}

void TMessageEditor::Suchen2Click() { RunSearchForm(false); }

void TMessageEditor::Weitersuchen1Click() {
  // Before any search text was given, Find again opens the find form.
  if (searchReady_ && !searchText_.empty())
    FindNext(searchText_, matchCase_, wholeWord_);
  else
    Suchen2Click();
}

void TMessageEditor::Ersetzen1Click() { RunSearchForm(true); }

void TMessageEditor::SARFind() { FindNext(searchText_, matchCase_, wholeWord_); }

void TMessageEditor::SARReplace() {
  const QString selected = Editor->textCursor().selectedText();
  const QString wanted = AnsiText(searchText_);
  const bool same =
      selected == wanted || (!matchCase_ && selected.compare(wanted, Qt::CaseInsensitive) == 0);
  if (!selected.isEmpty() && same) {
    QTextCursor cursor = Editor->textCursor();
    const int start = cursor.selectionStart();
    const QString replacement = AnsiText(replaceText_);
    cursor.insertText(replacement);
    cursor.setPosition(start);
    cursor.setPosition(start + replacement.size(), QTextCursor::KeepAnchor);
    Editor->setTextCursor(cursor);
  }
  FindNext(searchText_, matchCase_, wholeWord_);
}

void TMessageEditor::SARReplaceAll() {
  do SARReplace();
  while (lastMatch_ != -1);
}

}  // namespace velmaris
