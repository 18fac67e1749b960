// The help stand-in: the help of "<name>.hlp" is a folder "<name>/" of HTML
// pages beside it, one per help context ("<context>.html"). One viewer
// window serves every request. The program ships its pages as resources
// (":/Tervik/<context>.html"); a page in the folder beside the help file
// takes their place. A topic without a page says so.
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

// The one viewer, shown in front with the topic.
THelpViewer* ShowHelpTopic(const std::string& helpFile, int context);

}  // namespace velmaris
