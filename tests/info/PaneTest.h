#pragma once
// A fixture for the Info window's panes: a store whose events are recorded, a drivable main
// loop, a temporary folder, and helpers that show states and find the pane's controls.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QWidget>

#include "info/state/InfoWindowEvents.h"
#include "infostate/FaultyFileSystem.h"
#include "infostate/InfoStoreProbe.h"
#include "support/FileFixtures.h"
#include "support/ManualMainLoop.h"
#include "support/TempDir.h"

namespace ml::info::testing {

class PaneTest : public ::testing::Test {
 protected:
  // A state showing `paths` at `displayed` with the given pending edits.
  static InfoWindowState showing(std::vector<files::Path> paths, int displayed = 0,
                                 std::map<EditableField, FieldValue> changes = {}) {
    InfoWindowState state;
    state.paths = std::move(paths);
    state.displayed = displayed;
    state.changes = std::move(changes);
    return state;
  }

  template <class T>
  static T& control(QWidget& pane, const char* name) {
    auto* found = pane.findChild<T*>(QString::fromLatin1(name));
    if (!found) throw std::runtime_error(std::string("no control named ") + name);
    return *found;
  }

  // Whether a marker is shown (its pane need not be on screen).
  static bool shown(QWidget& widget) { return !widget.isHidden(); }

  static QStringList items(QComboBox& popup) {
    QStringList titles;
    for (int i = 0; i < popup.count(); ++i) titles << popup.itemText(i);
    return titles;
  }

  files::Path item(const std::string& name, const std::string& contents = "x") { return files::Path(dir.write(name, contents)); }

  test::TempDir dir;
  test::ManualMainLoop loop;
  InfoStoreProbe probe;
};

}  // namespace ml::info::testing
