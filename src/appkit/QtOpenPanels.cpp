#include "appkit/QtOpenPanels.h"

#include <QApplication>

#include "appkit/OpenPanel.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"

namespace ml::appkit {

namespace {

OpenPanel* showPanel(OpenPanel::Settings settings) {
  auto* panel = new OpenPanel(settings);  // deletes itself on close
  panel->setObjectName(QStringLiteral("OpenPanel"));
  LOG_DEBUG("showing open panel. multiple=" << settings.multipleSelection << " directories="
                                            << settings.directoriesChoosable << " files=" << settings.filesChoosable);
  panel->show();
  panel->raise();
  panel->activateWindow();
  return panel;
}

}  // namespace

QtOpenPanels::QtOpenPanels(dispatch::Queue& main, dispatch::Queue& background) : main_(main), background_(background) {}

OpenPanel* QtOpenPanels::currentPanel() {
  OpenPanel* found = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* panel = qobject_cast<OpenPanel*>(widget); panel && panel->isVisible()) found = panel;
  }
  return found;
}

void QtOpenPanels::chooseFile(bool allowDirectories, OneItem callback) {
  ML_ASSERT_MAIN_THREAD();
  OpenPanel* panel = showPanel({false, allowDirectories, true});
  QObject::connect(panel, &OpenPanel::chosen, panel,
                   [callback = std::move(callback)](std::vector<std::filesystem::path> items) {
                     if (!items.empty() && callback) callback(items.front());
                   });
}

void QtOpenPanels::chooseFiles(bool allowDirectories, bool allowFiles, Items callback) {
  main_.async([this, allowDirectories, allowFiles, callback = std::move(callback)]() mutable {
    OpenPanel* panel = showPanel({true, allowDirectories, allowFiles});
    QObject::connect(panel, &OpenPanel::chosen, panel,
                     [this, callback = std::move(callback)](std::vector<std::filesystem::path> items) {
                       background_.async([callback, items = std::move(items)] {
                         if (callback) callback(items);
                       });
                     });
  });
}

void QtOpenPanels::chooseDirectory(OneItem callback) {
  main_.async([this, callback = std::move(callback)]() mutable {
    OpenPanel* panel = showPanel({false, true, false});
    QObject::connect(panel, &OpenPanel::chosen, panel,
                     [this, callback = std::move(callback)](std::vector<std::filesystem::path> items) {
                       background_.async([callback, item = items.front()] {
                         if (callback) callback(item);
                       });
                     });
  });
}

}  // namespace ml::appkit
