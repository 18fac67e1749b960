// The help stand-in: the help of "<name>.hlp" is a folder "<name>/" of HTML
// pages beside it, one per help context ("<context>.html"). One viewer
// window serves every request; a topic without a page says so.
#pragma once

#include <QTextBrowser>
#include <string>

namespace velmaris {

class THelpViewer : public QTextBrowser {
  Q_OBJECT

 public:
  explicit THelpViewer(QWidget* parent = nullptr);
  void ShowTopic(const std::string& helpFile, int context);
};

// The help index's context, the same in every window.
inline constexpr int kHelpIndexContext = 1;

// The one viewer, shown in front with the topic.
THelpViewer* ShowHelpTopic(const std::string& helpFile, int context);

}  // namespace velmaris
