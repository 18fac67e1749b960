// Keeps a form's position, size and window state in the registry: restored
// when the form has been built, saved when it closes.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace velmaris {

class TBetterPlacement : public QObject {
  Q_OBJECT

 public:
  // The form is the nearest window up the owner's chain (the owner itself
  // when it is one). The component is the form's child.
  explicit TBetterPlacement(
      QWidget* owner, const QString& regSection = QString(),
      const QString& regPath = QStringLiteral("Software\\Brimvale\\Velmaris\\Placement"));

  QString RegSection;
  QString RegPath;

  QWidget* Form() const { return form_; }
  // Call once the form is built: restores the stored state and bounds (kept
  // on the screens) and saves them again whenever the form closes.
  void Loaded();
  void Restore();
  // Raises the registry's exception when the values cannot be stored; on a
  // close the failure is reported through the Prompter and the form closes.
  void Save();
  // For a form that goes while it is shown (a long-lived window at the end
  // of the program): saves as a close would. Called from the form's
  // destructor; a failure is reported, never raised.
  void SaveIfShown() noexcept;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SaveReporting() noexcept;
  QPointer<QWidget> form_;
  bool hooked_ = false;
};

}  // namespace velmaris
