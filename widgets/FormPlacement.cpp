#include "widgets/FormPlacement.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "widgets/IniStorages.h"
#include "widgets/Placement.h"

namespace velmaris {

std::function<std::string()> DefaultIniNameHook;
std::string RegistryCompanyKey;
bool RegistryUseAppTitle = false;

namespace {

std::string ClassName(const QObject* o) {
  std::string name = o->metaObject()->className();
  const size_t colon = name.rfind("::");
  return colon == std::string::npos ? name : name.substr(colon + 2);
}

std::string ProgramPath() {
  return QCoreApplication::instance() ? QCoreApplication::applicationFilePath().toStdString()
                                      : std::string("velmaris");
}

bool Sizeable(const QWidget* form) { return form->minimumSize() != form->maximumSize(); }

}  // namespace

std::string GetDefaultSection(const QObject* component) {
  if (!component) return {};
  const auto* widget = qobject_cast<const QWidget*>(component);
  if (widget && widget->isWindow()) return ClassName(widget);
  const std::string name = component->objectName().toStdString();
  if (!widget) {
    const auto* owner = qobject_cast<const QWidget*>(component->parent());
    if (owner && owner->isWindow()) return ClassName(owner) + "." + name;
    return name;
  }
  if (const QWidget* form = widget->window(); form && form != widget) return ClassName(form) + name;
  return widget->parentWidget() ? widget->parentWidget()->objectName().toStdString() + name : name;
}

std::string GetDefaultIniName() {
  return velmaris::GetDefaultIniName(ProgramPath(), DefaultIniNameHook);
}

std::string GetDefaultIniRegKey() {
  const std::string title =
      QGuiApplication::instance() ? QGuiApplication::applicationDisplayName().toStdString() : "";
  return velmaris::GetDefaultIniRegKey(ProgramPath(), RegistryCompanyKey, RegistryUseAppTitle,
                                       title);
}

TScreenInfo CurrentScreenInfo() {
  TScreenInfo s;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    s.width = screen->geometry().width();
    s.height = screen->geometry().height();
    s.pixelsPerInch = qRound(screen->logicalDotsPerInch());
  }
  return s;
}

TWindowPlacementRec PlacementOf(const QWidget* form) {
  TWindowPlacementRec wp;
  const Qt::WindowStates ws = form->windowState();
  const QRect r = ws & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)
                      ? form->normalGeometry()
                      : form->geometry();
  wp.left = r.x();
  wp.top = r.y();
  wp.right = r.x() + r.width();
  wp.bottom = r.y() + r.height();
  wp.minX = wp.minY = wp.maxX = wp.maxY = -1;
  wp.showCmd = ws & Qt::WindowMinimized ? 2 : ws & Qt::WindowMaximized ? 3 : 1;
  return wp;
}

void WriteFormPlacement(QWidget* form, TIniStorage* storage, const std::string& section) {
  if (form) WritePlacementValues(storage, section, PlacementOf(form), CurrentScreenInfo());
}

void ReadFormPlacement(QWidget* form, const TIniStorage* storage, const std::string& section,
                       bool loadState, bool loadPosition) {
  if (!form || (!loadState && !loadPosition)) return;
  if (loadPosition) {
    TWindowPlacementRec wp = PlacementOf(form);
    if (ReadPlacementPosition(storage, section, wp, CurrentScreenInfo())) {
      if (!Sizeable(form)) {
        wp.right = wp.left + form->width();
        wp.bottom = wp.top + form->height();
      }
      if (wp.right > wp.left) {
        // The frame stays on the screen too.
        const QRect fg = form->frameGeometry(), cg = form->geometry();
        const QMargins frame(cg.left() - fg.left(), cg.top() - fg.top(), fg.right() - cg.right(),
                             fg.bottom() - cg.bottom());
        std::vector<PlaceRect> screens;
        for (QScreen* s : QGuiApplication::screens()) {
          const QRect g = s->availableGeometry().marginsRemoved(frame);
          screens.push_back({g.x(), g.y(), g.width(), g.height()});
        }
        const PlaceRect r = ClampToScreens(
            {wp.left, wp.top, wp.right - wp.left, wp.bottom - wp.top}, screens,
            std::min(form->minimumWidth(), 120), std::min(form->minimumHeight(), 80));
        form->setGeometry(r.x, r.y, r.w, r.h);
      }
    }
  }
  if (loadState) {
    Qt::WindowStates ws = form->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    switch (ReadPlacementState(storage, section)) {
      case TStoredWindowState::Minimized: ws |= Qt::WindowMinimized; break;
      case TStoredWindowState::Maximized: ws |= Qt::WindowMaximized; break;
      default: break;
    }
    form->setWindowState(ws);
  }
  form->update();
}

TIniLink::~TIniLink() {
  OnSave = nullptr;
  OnLoad = nullptr;
  SetStorage(nullptr);
}

void TIniLink::SetStorage(TFormPlacement* storage) {
  if (storage_ == storage) return;
  if (storage_) storage_->RemoveLink(this);
  storage_ = storage;
  if (storage_) storage_->AddLink(this);
}

TIniStorage* TIniLink::IniObject() const { return storage_ ? storage_->IniObject() : nullptr; }

std::string TIniLink::RootSection() const {
  if (!storage_) return {};
  const std::string section = storage_->IniSection();
  return section.empty() ? std::string() : section + "\\";
}

TFormPlacement::TFormPlacement(QWidget* owner)
    : QObject(owner ? owner->window() : nullptr), form_(owner ? owner->window() : nullptr) {
  setObjectName(QStringLiteral("FormPlacement1"));
  if (!form_) Options = 0;
}

TFormPlacement::~TFormPlacement() {
  if (hooked_ && Active && !saved_ && restored_) {
    // The form is going away: save what it last showed.
    destroying_ = true;
    if (OpenStorage()) {
      WritePlacementValues(storage_.get(), lastSection_, last_, CurrentScreenInfo());
      IniWriteBool(storage_.get(), lastSection_, "Visible", true);
      for (TIniLink* link : links_) link->SaveToIni();
      CloseStorage();
    }
  }
  for (TIniLink* link : std::vector<TIniLink*>(links_)) link->SetStorage(nullptr);
  if (form_) form_->removeEventFilter(this);
}

std::string TFormPlacement::IniFileName() const {
  if (!iniFileName_.empty()) return iniFileName_;
  return UseRegistry ? velmaris::GetDefaultIniRegKey() : velmaris::GetDefaultIniName();
}

std::string TFormPlacement::IniSection() const {
  return iniSection_.empty() ? GetDefaultSection(form_.data()) : iniSection_;
}

void TFormPlacement::AddLink(TIniLink* link) {
  if (std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
}

void TFormPlacement::RemoveLink(TIniLink* link) { std::erase(links_, link); }

void TFormPlacement::Loaded() {
  if (!form_ || hooked_) return;
  form_->installEventFilter(this);
  hooked_ = true;
  lastSection_ = IniSection();
  last_ = PlacementOf(form_);
  if (preventResize_ || !minMax_.DefaultMinMaxInfo()) ApplyLimits();
}

bool TFormPlacement::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_) {
    switch (event->type()) {
      case QEvent::Show:
        // Only when the program shows the form, not when the window system
        // maps it again (after minimising).
        if (Active && !event->spontaneous()) RestoreFormPlacement();
        break;
      case QEvent::Close:
        if (Active) SaveFormPlacement();
        break;
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::WindowStateChange: last_ = PlacementOf(form_); break;
      default: break;
    }
  }
  return QObject::eventFilter(watched, event);
}

bool TFormPlacement::OpenStorage() {
  if (storage_) return false;
  if (UseRegistry) {
    storage_ = std::make_unique<TRegIniFile>(IniFileName());
  } else {
    storage_ = std::make_unique<TIniFile>(IniFileName());
  }
  return true;
}

void TFormPlacement::CloseStorage() { storage_.reset(); }

void TFormPlacement::SaveFormPlacement() {
  if (!restored_ && Active) return;
  const bool opened = OpenStorage();
  SavePlacement();
  emit savePlacement();
  saved_ = true;
  if (opened) CloseStorage();
}

void TFormPlacement::SavePlacement() {
  const std::string section = IniSection();
  WriteFormPlacement(form_, storage_.get(), section);
  if ((Options & fpActiveControl) && form_ && form_->focusWidget())
    IniWriteString(storage_.get(), section, "ActiveControl",
                   form_->focusWidget()->objectName().toStdString());
  IniWriteBool(storage_.get(), section, "Visible", destroying_);
  for (TIniLink* link : links_) link->SaveToIni();
}

void TFormPlacement::RestoreFormPlacement() {
  saved_ = false;
  const bool opened = OpenStorage();
  RestorePlacement();
  restored_ = true;
  emit restorePlacement();
  if ((Options & fpActiveControl) && form_) {
    const std::string name = IniReadString(storage_.get(), IniSection(), "ActiveControl", "");
    QWidget* control =
        name.empty() ? nullptr : form_->findChild<QWidget*>(QString::fromStdString(name));
    if (control && control->focusPolicy() != Qt::NoFocus && control->isEnabled())
      control->setFocus();
  }
  if (opened) CloseStorage();
  if (form_) last_ = PlacementOf(form_);
}

void TFormPlacement::RestorePlacement() {
  ReadFormPlacement(form_, storage_.get(), IniSection(), Options & fpState, Options & fpPosition);
  for (TIniLink* link : links_) link->LoadFromIni();
}

std::string TFormPlacement::ReadString(const std::string& section, const std::string& ident,
                                       const std::string& def) {
  const bool opened = OpenStorage();
  const std::string v = IniReadString(storage_.get(), section, ident, def);
  if (opened) CloseStorage();
  return v;
}

void TFormPlacement::WriteString(const std::string& section, const std::string& ident,
                                 const std::string& value) {
  const bool opened = OpenStorage();
  IniWriteString(storage_.get(), section, ident, value);
  if (opened) CloseStorage();
}

void TFormPlacement::SetPreventResize(bool value) {
  if (preventResize_ == value) return;
  preventResize_ = value;
  ApplyLimits();
}

void TFormPlacement::SetMinMaxInfo(const TWinMinMaxInfo& info) {
  minMax_ = info;
  ApplyLimits();
}

// The size limits the form gets: its own size while resizing is prevented,
// else the non-zero tracking limits.
void TFormPlacement::ApplyLimits() {
  if (!form_) return;
  if (preventResize_) {
    form_->setFixedSize(form_->size());
    form_->setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    return;
  }
  form_->setMinimumSize(minMax_.MinTrackWidth, minMax_.MinTrackHeight);
  form_->setMaximumSize(minMax_.MaxTrackWidth > 0 ? minMax_.MaxTrackWidth : QWIDGETSIZE_MAX,
                        minMax_.MaxTrackHeight > 0 ? minMax_.MaxTrackHeight : QWIDGETSIZE_MAX);
}

}  // namespace velmaris
