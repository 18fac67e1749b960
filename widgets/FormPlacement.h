// Form placement storage: a form's normal rectangle, window state and active
// control kept in an INI file or below a registry key, restored each time the
// form is shown and saved when it closes (or is destroyed without closing).
// Saving happens only after a restore in the same run (or when inactive), so
// a form that was never shown does not overwrite the stored values. Stored
// bounds are kept on the screens.
//
// Linked components (the speed bar) hang TIniLinks on the placement and store
// their settings in the section "<placement section>\<their section>".
#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "widgets/logic/IniStorage.h"
#include "widgets/logic/PlacementValues.h"

namespace velmaris {

class TFormPlacement;

// Process-wide defaults of the storage names.
extern std::function<std::string()> DefaultIniNameHook;
extern std::string RegistryCompanyKey;
extern bool RegistryUseAppTitle;

// The section a component stores itself in: a form's class name; a
// component's name, after its form's class name and "." for a non-widget,
// directly after its window's class name (or its parent's name) for a widget.
std::string GetDefaultSection(const QObject* component);
std::string GetDefaultIniName();
std::string GetDefaultIniRegKey();
// The primary screen's size and pixels per inch.
TScreenInfo CurrentScreenInfo();
// The form's normal rectangle and show command.
TWindowPlacementRec PlacementOf(const QWidget* form);

void WriteFormPlacement(QWidget* form, TIniStorage* storage, const std::string& section);
void ReadFormPlacement(QWidget* form, const TIniStorage* storage, const std::string& section,
                       bool loadState, bool loadPosition);

class TIniLink {
 public:
  TIniLink() = default;
  ~TIniLink();
  TIniLink(const TIniLink&) = delete;
  TIniLink& operator=(const TIniLink&) = delete;

  TFormPlacement* Storage() const { return storage_; }
  void SetStorage(TFormPlacement* storage);
  // The placement's open storage (none without one or while it is closed).
  TIniStorage* IniObject() const;
  // The placement's section and "\", or empty.
  std::string RootSection() const;

  std::function<void()> OnSave;
  std::function<void()> OnLoad;
  virtual void SaveToIni() {
    if (OnSave) OnSave();
  }
  virtual void LoadFromIni() {
    if (OnLoad) OnLoad();
  }

 private:
  TFormPlacement* storage_ = nullptr;
};

// Tracking limits of the form; 0 means no limit.
struct TWinMinMaxInfo {
  int MaxPosLeft = 0, MaxPosTop = 0, MaxSizeHeight = 0, MaxSizeWidth = 0;
  int MaxTrackHeight = 0, MaxTrackWidth = 0, MinTrackHeight = 0, MinTrackWidth = 0;
  bool DefaultMinMaxInfo() const { return *this == TWinMinMaxInfo(); }
  bool operator==(const TWinMinMaxInfo&) const = default;
};

enum TPlacementOption : unsigned { fpState = 1, fpPosition = 2, fpActiveControl = 4 };
using TPlacementOptions = unsigned;

class TFormPlacement : public QObject {
  Q_OBJECT

 public:
  // Owned by the nearest window up the owner's chain.
  explicit TFormPlacement(QWidget* owner);
  ~TFormPlacement() override;

  bool Active = true;
  bool UseRegistry = false;
  // Empty: the default file name (INI) or key (registry).
  std::string IniFileName() const;
  void SetIniFileName(const std::string& name) { iniFileName_ = name; }
  // Empty: the form's default section.
  std::string IniSection() const;
  void SetIniSection(const std::string& section) { iniSection_ = section; }
  TPlacementOptions Options = fpState | fpPosition;
  bool PreventResize() const { return preventResize_; }
  void SetPreventResize(bool value);
  const TWinMinMaxInfo& MinMaxInfo() const { return minMax_; }
  void SetMinMaxInfo(const TWinMinMaxInfo& info);

  QWidget* Form() const { return form_; }
  bool Saved() const { return saved_; }
  bool Restored() const { return restored_; }
  // Hooks the form (show restores, close and destruction save).
  void Loaded();

  void SaveFormPlacement();
  void RestoreFormPlacement();
  std::string ReadString(const std::string& section, const std::string& ident,
                         const std::string& def);
  void WriteString(const std::string& section, const std::string& ident, const std::string& value);

  // The open storage while a save, restore, read or write runs.
  TIniStorage* IniObject() const { return storage_.get(); }
  void AddLink(TIniLink* link);
  void RemoveLink(TIniLink* link);

 signals:
  void savePlacement();
  void restorePlacement();

 protected:
  virtual void SavePlacement();
  virtual void RestorePlacement();
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool OpenStorage();
  void CloseStorage();
  void ApplyLimits();

  QPointer<QWidget> form_;
  std::string iniFileName_, iniSection_;
  bool preventResize_ = false;
  TWinMinMaxInfo minMax_;
  std::unique_ptr<TIniStorage> storage_;
  std::vector<TIniLink*> links_;
  TWindowPlacementRec last_;  // the form's placement as last seen, saved on destruction
  std::string lastSection_;
  bool saved_ = false, restored_ = false, destroying_ = false, hooked_ = false;
};

}  // namespace velmaris
