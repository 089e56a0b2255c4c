// The Info window as a user meets it with many items: the item picker tells items of one name
// apart by their folders, and a window that grows to show its panes stays on the screen.
#include <QComboBox>
#include <QScreen>

#include "InfoCommandTest.h"
#include "info/FileInfoWindow.h"
#include "info/InfoWindow.h"

namespace ml::info {
namespace {

using files::Path;

class InfoWindowPlacementTest : public testing::InfoCommandTest {
 protected:
  ~InfoWindowPlacementTest() override {
    if (controller->window() && controller->window()->isVisible()) controller->window()->close();
    settleGlobal();
    loop.drain();
  }
  void settleWindow() {
    testing::settleStore(controller->core());
    loop.drain();
  }

  std::shared_ptr<InfoWindow> controller = InfoWindow::make(delegate().windowContext());
};

TEST_F(InfoWindowPlacementTest, ThePickerTellsAlikeNamesApartAndTheGrownWindowStaysOnTheScreen) {
  // Found by a search: three "file2.txt", two of them in folders of one name, and a name with a
  // control character, shown in its visible form.
  const Path inX(dir.write("x/logs/file2.txt", "1"));
  const Path inY(dir.write("y/logs/file2.txt", "2"));
  const Path inZ(dir.write("z/file2.txt", "3"));
  const Path other(dir.write("tab\there.txt", "4"));
  controller->initialize({inX, inY, inZ, other});
  controller->show();
  FileInfoWindow* window = controller->window();
  ASSERT_NE(window, nullptr);
  // Placed low, as a window first shown at its smaller size may be.
  const QRect free = window->screen()->availableGeometry();
  window->move(free.left() + 10, free.bottom() - 150);
  settleWindow();

  auto* picker = window->findChild<QComboBox*>("filePicker");
  ASSERT_NE(picker, nullptr);
  QStringList titles;
  for (int i = 0; i < picker->count(); ++i) titles << picker->itemText(i);
  const QString top = QString::fromStdString(dir.path().filename().string());
  EXPECT_EQ(titles, (QStringList{"file2.txt \u2014 x/logs", "file2.txt \u2014 y/logs",
                                 "file2.txt \u2014 " + top + "/z", "tab\u21E5here.txt"}));

  // Grown to its panes (as far as the screen allows) and moved so that all of it is on the screen.
  const QSize decoration = window->frameGeometry().size() - window->size();
  const int wanted = std::min(window->sizeHint().height(), free.height() - decoration.height());
  EXPECT_EQ(window->height(), wanted);
  EXPECT_TRUE(free.contains(window->frameGeometry())) << window->frameGeometry().y() << " " << window->frameGeometry().height();
}

}  // namespace
}  // namespace ml::info
