// TDirBtn: an edit holding a directory path. Whatever is typed or set is
// made a full path ending in "/"; a directory that does not exist is offered
// for creation (with its parents) when it is set (SetPath), not when typed.
// TEnhComboBox: a combo box that, with ExtendedDraw, draws its items itself
// and shows "!SEP!" items as lines.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <string>

namespace velmaris {

// The question asked before a missing directory is made.
std::string MissingDirQuestion(const std::string& dir);

class TDirBtn : public QLineEdit {
  Q_OBJECT

 public:
  explicit TDirBtn(QWidget* parent = nullptr);

  QString Path() const { return path_; }
  // Expands the path against the current directory and appends "/"; an
  // empty one clears Path. A missing directory is created when the user
  // agrees (the prompter asks), else Path is cleared. change() follows.
  void SetPath(const QString& path);
  // Shows a folder that exists, as a chooser shows it (a full path ending
  // in "/", its name possibly read from another page), without asking.
  void SetExistingPath(const QString& shown);

 signals:
  void change();

 protected:
  void focusOutEvent(QFocusEvent* event) override;

 private:
  QString path_;
};

// The text of a separator item.
inline const QString kSeparatorItem = QStringLiteral("!SEP!");

class TEnhComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TEnhComboBox(QWidget* parent = nullptr);

  bool ExtendedDraw() const { return extendedDraw_; }
  void SetExtendedDraw(bool on);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool extendedDraw_ = false;
};

// Draws one item of an extended-draw combo box: a button-face fill and the
// text, or a line across the middle for a separator item.
void DrawEnhComboItem(QPainter& painter, const QRect& rect, const QString& text,
                      const QPalette& palette);

}  // namespace velmaris
