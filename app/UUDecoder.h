// The UUDecode window: a text box that first holds the text lines to decode
// (filled by the message list window) and then the log, a target directory,
// a progress bar, and the Decode and Close buttons. It stays on top and
// frees itself when closed. The decoding is app/logic/UUDecode.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace velmaris {

class TDirectoryEdit;

class TUUDecoder : public QWidget {
  Q_OBJECT

 public:
  explicit TUUDecoder(QWidget* owner = nullptr);

  // The lines to decode, byte strings in the ANSI code page.
  void SetInput(const std::vector<std::string>& lines);
  // Appends a line to the text box.
  void Log(const std::string& text);

  void DoDecodeClick();
  void DoCloseClick() { close(); }

  QPlainTextEdit* DecodeText = nullptr;
  TDirectoryEdit* Directory = nullptr;
  QProgressBar* Progress = nullptr;
  QPushButton* DoDecode = nullptr;
  QPushButton* DoClose = nullptr;
  QLabel* Label1 = nullptr;
};

}  // namespace velmaris
