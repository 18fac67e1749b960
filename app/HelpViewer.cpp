#include "app/HelpViewer.h"

#include <QFileInfo>
#include <QPointer>
#include <QUrl>

namespace velmaris {

THelpViewer::THelpViewer(QWidget* parent) : QTextBrowser(parent) {
  setObjectName("HelpViewer");
  setWindowFlag(Qt::Window);
  setAttribute(Qt::WA_DeleteOnClose);
  setOpenLinks(true);
  resize(560, 480);
}

void THelpViewer::ShowTopic(const std::string& helpFile, int context) {
  const QFileInfo file(QString::fromStdString(helpFile));
  const QString name = QStringLiteral("/%1.html").arg(context);
  const QString page = file.path() + QLatin1Char('/') + file.completeBaseName() + name;
  setWindowTitle(file.completeBaseName() + QStringLiteral(" – Справка"));
  // A page in the start directory's help folder comes first; the pages the
  // program ships are its fallback, so every start directory has help.
  if (QFileInfo::exists(page)) {
    setSource(QUrl::fromLocalFile(page));
    return;
  }
  const QString shipped = QStringLiteral(":/") + file.completeBaseName() + name;
  if (QFileInfo::exists(shipped)) {
    setSource(QUrl(QStringLiteral("qrc") + shipped));
    return;
  }
  setPlainText(QStringLiteral("Раздел справки %1 не найден:\n%2").arg(context).arg(page));
}

THelpViewer* ShowHelpTopic(const std::string& helpFile, int context) {
  static QPointer<THelpViewer> viewer;
  if (!viewer) viewer = new THelpViewer;
  viewer->ShowTopic(helpFile, context);
  viewer->show();
  viewer->raise();
  viewer->activateWindow();
  return viewer;
}

}  // namespace velmaris
