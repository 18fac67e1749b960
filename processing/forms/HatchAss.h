// The hatch assistant: five pages (introduction, file, description, uplink
// and file area, result) driven by the Back and Next buttons. Entering the
// description page takes the description of an archive from its
// "file_id.diz"; entering the result page hatches the file (Hatch.h) and
// shows LSuccess or LFailed. Non-modal; frees itself when closed.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace velmaris {

class TComboAttachment;
class TConfigStore;
class TFilenameEdit;
class TNetLink;
class TNotebook;
class TPageManager;
class TPckList;

class THatchAss : public QWidget {
  Q_OBJECT

 public:
  THatchAss(TConfigStore& store, TPckList* packers, QWidget* parent = nullptr);
  ~THatchAss() override;

  // The file areas offered for an uplink (the file-area manager's list);
  // none when unset, the user then types the area.
  std::function<std::vector<std::string>(TNetLink&)> FileAreasOf;

  void NotebookPageChanged();
  void NLComboChange();
  void CancelBtnClick();
  void FinishClick();
  TNotebook* Notebook() const { return notebook_; }

 protected:
  // A closed window lets go of the lists at once: it is freed later, when
  // they may be gone.
  void closeEvent(QCloseEvent* event) override;

 private:
  void Build();
  void ShowDescription();
  void RunHatch();

  TConfigStore& store_;
  TPckList* packers_;
  std::unique_ptr<TComboAttachment> uplinks_;
  TNotebook* notebook_ = nullptr;
  TPageManager* manager_ = nullptr;
  TFilenameEdit* filename_ = nullptr;
  QRadioButton *killSrc_ = nullptr, *keepSrc_ = nullptr;
  QPlainTextEdit* description_ = nullptr;
  QComboBox *nlCombo_ = nullptr, *areaCombo_ = nullptr;
  QPushButton* button1_ = nullptr;
  QLineEdit *replace_ = nullptr, *magic_ = nullptr;
  QLabel *success_ = nullptr, *failed_ = nullptr;
  QPushButton *prev_ = nullptr, *next_ = nullptr, *cancel_ = nullptr, *finish_ = nullptr;
};

}  // namespace velmaris
