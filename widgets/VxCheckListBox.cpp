#include "widgets/VxCheckListBox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include "widgets/logic/IniStorage.h"

namespace velmaris {

namespace {

constexpr int kStateRole = Qt::UserRole + 1;
constexpr int kEnabledRole = Qt::UserRole + 2;

TCheckBoxState StateOf(const QListWidgetItem* item) {
  return item ? static_cast<TCheckBoxState>(item->data(kStateRole).toInt())
              : TCheckBoxState::cbUnchecked;
}

bool EnabledOf(const QListWidgetItem* item) {
  const QVariant v = item ? item->data(kEnabledRole) : QVariant();
  return !v.isValid() || v.toBool();
}

// Draws the check area before the text and the text in its own colours.
class CheckDelegate : public QStyledItemDelegate {
 public:
  explicit CheckDelegate(TVxCheckListBox* box) : QStyledItemDelegate(box), box_(box) {}

  void paint(QPainter* p, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const int area = box_->CheckWidth() + 2;
    QStyleOptionViewItem text = option;
    text.rect.setLeft(option.rect.left() + area);
    const bool enabled =
        index.data(kEnabledRole).isValid() ? index.data(kEnabledRole).toBool() : true;
    if (!enabled) {
      text.palette.setColor(QPalette::Text,
                            option.palette.color(QPalette::Disabled, QPalette::Text));
      text.palette.setColor(QPalette::HighlightedText,
                            option.palette.color(QPalette::Inactive, QPalette::HighlightedText));
    }
    if (box_->GraySelection() && !(option.state & QStyle::State_HasFocus) && !box_->hasFocus()) {
      text.palette.setColor(QPalette::Inactive, QPalette::Highlight,
                            option.palette.color(QPalette::Button));
      text.palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                            option.palette.color(QPalette::ButtonText));
    }
    QStyledItemDelegate::paint(p, text, index);

    QStyleOptionButton check;
    check.initFrom(box_);
    const int w = box_->CheckWidth();
    check.rect = QRect(option.rect.left() + (area - w) / 2,
                       option.rect.top() + (option.rect.height() - w) / 2, w, w);
    check.state = QStyle::State_None;
    if (enabled && box_->isEnabled()) check.state |= QStyle::State_Enabled;
    switch (static_cast<TCheckBoxState>(index.data(kStateRole).toInt())) {
      case TCheckBoxState::cbChecked: check.state |= QStyle::State_On; break;
      case TCheckBoxState::cbGrayed: check.state |= QStyle::State_NoChange; break;
      default: check.state |= QStyle::State_Off; break;
    }
    QStyle* style = box_->style();
    switch (box_->CheckKind()) {
      case TCheckKind::ckRadioButtons:
        style->drawPrimitive(QStyle::PE_IndicatorRadioButton, &check, p, box_);
        break;
      case TCheckKind::ckCheckMarks:
        if (!(check.state & QStyle::State_Off)) {
          // A tick: grey when grayed or disabled.
          const bool grey =
              (check.state & QStyle::State_NoChange) || !(check.state & QStyle::State_Enabled);
          const QRect r = check.rect.adjusted(2, 2, -2, -2);
          p->save();
          p->setRenderHint(QPainter::Antialiasing);
          p->setPen(QPen(grey ? option.palette.color(QPalette::Disabled, QPalette::Text)
                              : option.palette.color(QPalette::Text),
                         2));
          p->drawPolyline(
              QPolygon({QPoint(r.left(), r.center().y()),
                        QPoint(r.left() + r.width() / 3, r.bottom()), QPoint(r.right(), r.top())}));
          p->restore();
        }
        break;
      default: style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &check, p, box_); break;
    }
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    s.rwidth() += box_->CheckWidth() + 2;
    s.setHeight(std::max(s.height(), box_->CheckWidth()));
    return s;
  }

 private:
  TVxCheckListBox* box_;
};

}  // namespace

// ---- TTextListBox ----

TTextListBox::TTextListBox(QWidget* parent) : QListWidget(parent) {
  resize(121, 97);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  connect(this, &QListWidget::itemClicked, this, &TTextListBox::click);
  connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0 && !QApplication::mouseButtons()) emit click();
  });
}

QStringList TTextListBox::Items() const {
  QStringList out;
  for (int i = 0; i < count(); ++i) out << item(i)->text();
  return out;
}

void TTextListBox::SetItems(const QStringList& items) {
  clear();
  addItems(items);
}

// ---- TVxCheckListBox ----

TVxCheckListBox::TVxCheckListBox(QWidget* parent) : QListWidget(parent) {
  resize(121, 97);
  setItemDelegate(new CheckDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  iniLink_.OnSave = [this] {
    if (TIniStorage* s = iniLink_.IniObject())
      SaveChecks(*s, iniLink_.RootSection() + GetDefaultSection(this));
  };
  iniLink_.OnLoad = [this] {
    if (TIniStorage* s = iniLink_.IniObject())
      RestoreChecks(*s, iniLink_.RootSection() + GetDefaultSection(this));
  };
}

int TVxCheckListBox::CheckWidth() const {
  return style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
}

QStringList TVxCheckListBox::Items() const {
  QStringList out;
  for (int i = 0; i < count(); ++i) out << item(i)->text();
  return out;
}

void TVxCheckListBox::SetItems(const QStringList& items) {
  clear();
  for (const QString& text : items) AddItem(text);
  RadioConsistency();
}

void TVxCheckListBox::AssignItems(const TVxCheckListBox& other) {
  clear();
  for (int i = 0; i < other.count(); ++i) addItem(other.item(i)->clone());
  RadioConsistency();
}

int TVxCheckListBox::AddItem(const QString& text) {
  addItem(text);
  return count() - 1;
}

void TVxCheckListBox::InsertItem(int index, const QString& text) { insertItem(index, text); }

void TVxCheckListBox::DeleteItem(int index) { delete takeItem(index); }

void TVxCheckListBox::Exchange(int a, int b) {
  if (a == b || !item(a) || !item(b)) return;
  const int lo = std::min(a, b), hi = std::max(a, b);
  QListWidgetItem* high = takeItem(hi);
  QListWidgetItem* low = takeItem(lo);
  insertItem(lo, high);
  insertItem(hi, low);
}

void TVxCheckListBox::Move(int from, int to) {
  if (from == to || !item(from) || to < 0 || to >= count()) return;
  insertItem(to, takeItem(from));
}

TCheckBoxState TVxCheckListBox::State(int index) const {
  const TCheckBoxState s = StateOf(item(index));
  if (checkKind_ == TCheckKind::ckRadioButtons && s != TCheckBoxState::cbChecked) {
    return TCheckBoxState::cbUnchecked;
  }
  return s;
}

void TVxCheckListBox::SetState(int index, TCheckBoxState state) { WriteState(index, state, false); }

void TVxCheckListBox::WriteState(int index, TCheckBoxState state, bool force) {
  QListWidgetItem* it = item(index);
  if (!it || (!force && StateOf(it) == state)) return;
  const bool radio = checkKind_ == TCheckKind::ckRadioButtons;
  if (radio && state == TCheckBoxState::cbUnchecked && StateOf(it) == TCheckBoxState::cbChecked &&
      !force) {
    return;  // a radio item is unchecked only by checking another
  }
  it->setData(kStateRole, static_cast<int>(state));
  if (radio && state == TCheckBoxState::cbChecked) {
    for (int i = count() - 1; i >= 0; --i) {
      if (i != index && StateOf(item(i)) == TCheckBoxState::cbChecked) {
        item(i)->setData(kStateRole, static_cast<int>(TCheckBoxState::cbUnchecked));
      }
    }
  }
  emit stateChange(index);
}

void TVxCheckListBox::SetChecked(int index, bool on) {
  SetState(index, on ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked);
}

bool TVxCheckListBox::EnabledItem(int index) const { return EnabledOf(item(index)); }

void TVxCheckListBox::SetEnabledItem(int index, bool on) {
  if (QListWidgetItem* it = item(index)) it->setData(kEnabledRole, on);
}

int TVxCheckListBox::CheckedIndex() const {
  if (checkKind_ != TCheckKind::ckRadioButtons) return -1;
  for (int i = 0; i < count(); ++i) {
    if (State(i) == TCheckBoxState::cbChecked) return i;
  }
  return -1;
}

void TVxCheckListBox::SetCheckedIndex(int index) {
  if (checkKind_ == TCheckKind::ckRadioButtons && count() > 0) {
    SetState(std::max(index, 0), TCheckBoxState::cbChecked);
  }
}

void TVxCheckListBox::SetCheckKind(TCheckKind kind) {
  if (kind == checkKind_) return;
  checkKind_ = kind;
  RadioConsistency();
  viewport()->update();
}

void TVxCheckListBox::SetGraySelection(bool on) {
  graySelection_ = on;
  viewport()->update();
}

void TVxCheckListBox::RadioConsistency() {
  if (checkKind_ != TCheckKind::ckRadioButtons || count() == 0) return;
  int first = 0;
  for (int i = 0; i < count(); ++i) {
    if (StateOf(item(i)) == TCheckBoxState::cbChecked) {
      first = i;
      break;
    }
  }
  WriteState(first, TCheckBoxState::cbChecked, true);
}

void TVxCheckListBox::Toggle(int index) {
  if (index < 0 || index >= count() || !EnabledItem(index)) return;
  TCheckBoxState next = TCheckBoxState::cbChecked;
  switch (State(index)) {
    case TCheckBoxState::cbUnchecked:
      next = AllowGrayed() ? TCheckBoxState::cbGrayed : TCheckBoxState::cbChecked;
      break;
    case TCheckBoxState::cbChecked: next = TCheckBoxState::cbUnchecked; break;
    case TCheckBoxState::cbGrayed: next = TCheckBoxState::cbChecked; break;
  }
  SetState(index, next);
  emit clickCheck();
}

void TVxCheckListBox::SetAll(TCheckBoxState state) {
  if (checkKind_ == TCheckKind::ckRadioButtons) return;
  for (int i = 0; i < count(); ++i) {
    if (!EnabledItem(i)) continue;
    SetState(i, state);
    emit clickCheck();
  }
}

int TVxCheckListBox::ItemAtPos(QPoint pos, bool existing) const {
  if (!viewport()->rect().contains(pos)) return -1;
  const QModelIndex index = indexAt(pos);
  if (index.isValid()) return index.row();
  return existing ? -1 : count();
}

QRect TVxCheckListBox::ItemRect(int index) const {
  if (index >= 0 && index < count()) return visualItemRect(item(index));
  if (index == count() && count() > 0) {
    const QRect last = visualItemRect(item(count() - 1));
    return last.translated(0, last.height());
  }
  return {};
}

void TVxCheckListBox::mousePressEvent(QMouseEvent* event) {
  QListWidget::mousePressEvent(event);
  if (event->button() != Qt::LeftButton) return;
  const int index = ItemAtPos(event->position().toPoint(), true);
  if (index < 0) return;
  if (event->position().x() - ItemRect(index).left() < CheckWidth() + 2) Toggle(index);
}

void TVxCheckListBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space) {
    Toggle(currentRow());
    event->accept();
    return;
  }
  if (event->text() == u"+" || event->text() == u"-") {
    SetAll(event->text() == u"+" ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked);
    event->accept();
    return;
  }
  QListWidget::keyPressEvent(event);
}

void TVxCheckListBox::SaveChecks(TIniStorage& ini, const std::string& section) const {
  ini.EraseSection(section);
  IniWriteInteger(&ini, section, "Count", count());
  for (int i = 0; i < count(); ++i)
    IniWriteInteger(&ini, section, "Item" + std::to_string(i), static_cast<int>(State(i)));
}

void TVxCheckListBox::RestoreChecks(const TIniStorage& ini, const std::string& section) {
  const int n = std::min(IniReadInteger(&ini, section, "Count", 0), count());
  for (int i = 0; i < n; ++i) {
    const int value = IniReadInteger(&ini, section, "Item" + std::to_string(i), 0);
    if (value < 0 || value > 2) continue;
    SetState(i, static_cast<TCheckBoxState>(value));
    if (checkKind_ == TCheckKind::ckRadioButtons && value == 1) break;
  }
}

}  // namespace velmaris
