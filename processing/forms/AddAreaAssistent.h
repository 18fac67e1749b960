// The assistant that adds an area: its name and kind (echo area or storage
// area), the uplink it comes from (skipped for a storage area), and for an
// echo area whether the uplink's AreaFix is asked for it at once. The
// creating page adds the area to the configuration (and sends the order).
#pragma once

#include "processing/forms/AssistentFrame.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace velmaris {

class TAreaManager;
class TArea;
class TConfigStore;

class TAddAreaAssistent : public TAssistentFrame {
  Q_OBJECT

 public:
  enum Page { Intro, NamePage, UplinkPage, ReadyPage, CreatingPage, DonePage };

  // echoAreas: the echo-area manager through which an order is sent (null:
  // the order box stays hidden).
  TAddAreaAssistent(TConfigStore& store, TAreaManager* echoAreas, QWidget* parent = nullptr);

  // The area the last run added; null when none.
  TArea* AddedArea() const { return added_; }

  QLineEdit* NewAreaname;
  QRadioButton* EchoArea;
  QRadioButton* StorageArea;
  QComboBox* Link;
  QCheckBox* OrderArea;

 protected:
  void NB_DELPageChanged() override;
  void Reset() override;

 private:
  void CreateArea();

  TConfigStore& store_;
  TAreaManager* echoAreas_;
  TArea* added_ = nullptr;
};

}  // namespace velmaris
