#include "widgets/DirBtn.h"

#include <QAbstractItemView>
#include <QDir>
#include <QPainter>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <exception>

#include "platform/Files.h"
#include "platform/Prompter.h"

namespace velmaris {

namespace {

QString Expanded(QString path) {
  if (path.size() > 1 && path.endsWith('/')) path.chop(1);
  if (path.isEmpty()) return QString();
  return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

class TEnhItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* p, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    DrawEnhComboItem(*p, option.rect, index.data().toString(), option.palette);
  }
};

}  // namespace

void DrawEnhComboItem(QPainter& p, const QRect& rect, const QString& text,
                      const QPalette& palette) {
  p.fillRect(rect, palette.color(QPalette::Button));
  if (text == kSeparatorItem) {
    const int y = (rect.top() + rect.bottom()) / 2;
    p.setPen(palette.color(QPalette::Dark));
    p.drawLine(rect.left(), y, rect.right(), y);
    p.setPen(palette.color(QPalette::Light));
    p.drawLine(rect.left(), y + 1, rect.right(), y + 1);
    return;
  }
  p.setPen(palette.color(QPalette::WindowText));
  p.drawText(rect, Qt::AlignLeft | Qt::AlignTop, text);
}

std::string MissingDirQuestion(const std::string& dir) {
  return "Das Verzeichnis \"" + dir + "\" existiert nicht. Soll es angelegt werden?";
}

TDirBtn::TDirBtn(QWidget* parent) : QLineEdit(parent) { SetPath(QString()); }

void TDirBtn::SetPath(const QString& value) {
  const QString dir = Expanded(value);
  const QString full = dir.isEmpty() ? QString() : (dir == "/" ? dir : dir + "/");
  if (full == path_ && !(full.isEmpty() && !text().isEmpty())) return;
  if (dir.isEmpty()) {
    path_.clear();
    setText(QString());
  } else if (QDir(dir).exists()) {
    path_ = full;
    setText(full);
  } else {
    bool made = false;
    if (platform::GetPrompter().Ask(platform::MsgKind::Confirmation,
                                    MissingDirQuestion(dir.toStdString()),
                                    platform::mbYes | platform::mbNo) == platform::mbYes) {
      try {
        platform::MakeDirs(dir.toStdString());
        made = QDir(dir).exists();
      } catch (const std::exception&) {
      }
    }
    if (made) {
      SetPath(dir);
    } else {
      // Not made (refused, or it could not be created): the field is cleared.
      setText(QString());
      SetPath(QString());
    }
  }
  emit change();
}

void TDirBtn::SetExistingPath(const QString& shown) {
  path_ = shown;
  setText(shown);
  emit change();
}

// Typed text is only made a full path when the focus leaves: whether a
// missing folder is to be made is asked by the command that takes the path
// (the settings' Apply), never by the click that took the focus away, and
// the text stays as typed.
void TDirBtn::focusOutEvent(QFocusEvent* event) {
  const QString dir = Expanded(text());
  const QString full = dir.isEmpty() ? QString() : (dir == "/" ? dir : dir + "/");
  if (full != path_ || full != text()) {
    path_ = full;
    setText(full);
    emit change();
  }
  QLineEdit::focusOutEvent(event);
}

TEnhComboBox::TEnhComboBox(QWidget* parent) : QComboBox(parent) {}

void TEnhComboBox::SetExtendedDraw(bool on) {
  extendedDraw_ = on;
  if (on) {
    setItemDelegate(new TEnhItemDelegate(this));
  } else {
    setItemDelegate(new QStyledItemDelegate(this));
  }
  update();
}

void TEnhComboBox::paintEvent(QPaintEvent* event) {
  if (!extendedDraw_) return QComboBox::paintEvent(event);
  QStylePainter p(this);
  QStyleOptionComboBox opt;
  initStyleOption(&opt);
  opt.currentText.clear();
  p.drawComplexControl(QStyle::CC_ComboBox, opt);
  const QRect field =
      style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
  if (currentIndex() >= 0) DrawEnhComboItem(p, field, currentText(), palette());
}

}  // namespace velmaris
