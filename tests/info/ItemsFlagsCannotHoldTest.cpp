// Items whose names or kinds the Info window must show and refuse with care: a named pipe cannot
// carry the flags kept in extended attributes, and a name may hold control characters.
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>

#include "PaneTest.h"
#include "files/VisibleName.h"
#include "info/BasicInfoController.h"
#include "info/ButtonBarController.h"
#include "info/FlagAttributesController.h"
#include "info/state/AcceptChanges.h"

namespace ml::info {
namespace {

namespace fs = std::filesystem;
using files::Path;

class ItemsFlagsCannotHoldTest : public testing::PaneTest {};

// The flags of a named pipe are not offered (each box says why); an edit of them that arrives
// anyway fails naming the flag and the item, and the rename asked with it does not happen.
TEST_F(ItemsFlagsCannotHoldTest, ANamedPipeOffersNoFlagsAndAFailedApplyNamesTheFlagAndTheItem) {
  const fs::path pipe = dir.path() / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  FlagAttributesController pane;
  pane.setReactor(probe.core);
  pane.update(showing({Path(pipe)}));
  for (const char* name : {"invisibleCheckbox", "extensionHiddenCheckbox"}) {
    auto& box = control<QCheckBox>(pane, name);
    EXPECT_FALSE(box.isEnabled()) << name;
    EXPECT_EQ(box.toolTip(), QString::fromUtf8("\u201Cpipe\u201D is a named pipe: only files and folders can carry this flag."));
  }
  // Its created date, kept in an extended attribute as well, is not offered either.
  BasicInfoController basic;
  basic.setReactor(probe.core);
  basic.update(showing({Path(pipe)}));
  auto& created = control<QComboBox>(basic, "createdField");
  EXPECT_FALSE(created.isEnabled());
  EXPECT_EQ(created.toolTip(),
            QString::fromUtf8("\u201Cpipe\u201D is a named pipe: only files and folders can carry a created date."));
  EXPECT_TRUE(control<QComboBox>(basic, "modifiedField").isEnabled());

  // An ordinary file next to it offers both again, without a tip.
  pane.update(showing({item("plain.txt")}));
  EXPECT_TRUE(control<QCheckBox>(pane, "invisibleCheckbox").isEnabled());
  EXPECT_TRUE(control<QCheckBox>(pane, "extensionHiddenCheckbox").toolTip().isEmpty());
  basic.update(showing({item("plain.txt")}));
  EXPECT_TRUE(created.isEnabled());
  EXPECT_TRUE(created.toolTip().isEmpty());

  InfoWindowState state = showing({Path(pipe)}, 0,
                                  {{EditableField::invisible, true}, {EditableField::name, std::string("renamed")}});
  auto status = AcceptChanges::apply(state, *probe.core);
  probe.settle();
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(EPERM)) << status.error();
  EXPECT_EQ(status.error().message.rfind("The invisible flag of \u201Cpipe\u201D could not be set: ", 0), 0u)
      << status.error().message;
  auto failed = probe.recorder->all<ChangesFailed>();
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].error, status.error());
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_FALSE(fs::exists(dir.path() / "renamed"));
}

// One visible form of a name, whatever it holds: control characters become their symbols, the
// rest keeps its bytes; the item picker shows that form.
TEST_F(ItemsFlagsCannotHoldTest, NamesWithControlCharactersShowAVisibleMarkForEach) {
  EXPECT_EQ(files::visibleName("new\nline.txt"), "new\u21B5line.txt");
  EXPECT_EQ(files::visibleName("a\tb\rc\x1b" "d\x7f"), "a\u21E5b^Mc^[d^?");
  EXPECT_EQ(files::visibleName(std::string("nul\0x", 5)), "nul^@x");
  EXPECT_EQ(files::visibleName("para\u2028graph\u2029"), "para\u21B5graph\u21B5");
  EXPECT_EQ(files::visibleName("caf\xe9 \u00e9t\u00e9.txt"), "caf\xe9 \u00e9t\u00e9.txt");  // not UTF-8: kept
  EXPECT_EQ(files::visibleName(""), "");

  ButtonBarController bar;
  bar.setReactor(probe.core);
  Path newline = item("new\nline.txt"), plain = item("plain.txt");
  bar.update(showing({newline, plain}));
  EXPECT_EQ(items(control<QComboBox>(bar, "filePicker")),
            (QStringList{QString::fromUtf8("new\u21B5line.txt"), "plain.txt"}));
  EXPECT_TRUE(fs::exists(dir.path() / "new\nline.txt"));  // shown, never renamed
}

}  // namespace
}  // namespace ml::info
