// The dialog's reducer, its validity and the rule it builds.
#include <gtest/gtest.h>

#include "rename/dialog/RenameDialogEvents.h"
#include "rename/dialog/RenameDialogState.h"

namespace ml::rename {
namespace {

RenameDialogState stateWith(std::initializer_list<std::shared_ptr<const store::Event>> events) {
  RenameDialogState state({files::Path("/tmp/a.txt")});
  for (const auto& event : events) state.react(*event);
  return state;
}

template <class E, class... A>
std::shared_ptr<const store::Event> ev(A&&... args) {
  return std::make_shared<const E>(std::forward<A>(args)...);
}

std::string renamed(const RenameDialogState& state, std::string_view name) {
  auto rule = state.strategy();
  if (!rule) return "<no rule>";
  auto result = rule->apply(name);
  return result ? *result : "<failed>";
}

TEST(RenameDialogState, StartsAsAnEmptyReplaceWithEmptyPrefixAndSuffix) {
  RenameDialogState state({files::Path("/x/b"), files::Path("/x/a")});
  EXPECT_EQ(state.items().size(), 2u);
  EXPECT_EQ(state.items()[0], files::Path("/x/b"));
  EXPECT_EQ(state.mode, ChangeMode::replace(false));
  EXPECT_EQ(state.prefix, std::optional<std::string>(""));
  EXPECT_EQ(state.suffix, std::optional<std::string>(""));
  EXPECT_FALSE(state.replacement.has_value());
  EXPECT_EQ(state.locations, MatchLocation::everywhere);
  EXPECT_EQ(state.replacementMode, ReplacementMode::first);
  EXPECT_TRUE(state.caseSensitive);
  EXPECT_TRUE(state.preserveExtensions);
  EXPECT_TRUE(state.includeFiles);
  EXPECT_FALSE(state.includeFolders);
  EXPECT_FALSE(state.isValid());
  EXPECT_EQ(state.strategy(), nullptr);
}

TEST(RenameDialogState, ReducerAppliesEachEvent) {
  auto state = stateWith({ev<PatternUpdated>("IMG"), ev<ReplacementValueUpdated>("Photo"),
                          ev<ReplacementModeChanged>(ReplacementMode::all),
                          ev<MatchLocationsChanged>(MatchLocation::beginning), ev<CaseFormatChanged>(CaseFormat::upper),
                          ev<CaseSensitivityToggled>(false), ev<ExtensionPreservationChanged>(false),
                          ev<SuffixChanged>(true, "-1")});
  EXPECT_EQ(state.pattern, "IMG");
  EXPECT_EQ(state.replacement, std::optional<std::string>("Photo"));
  EXPECT_EQ(state.replacementMode, ReplacementMode::all);
  EXPECT_EQ(state.locations, MatchLocation::beginning);
  EXPECT_EQ(state.caseFormat, std::optional<CaseFormat>(CaseFormat::upper));
  EXPECT_FALSE(state.caseSensitive);
  EXPECT_FALSE(state.preserveExtensions);
  EXPECT_EQ(renamed(state, "img_img.jpg"), "PHOTO_IMG.JPG-1");
}

TEST(RenameDialogState, ChoosingDeleteDiscardsTheReplacement) {
  auto state = stateWith({ev<PatternUpdated>("x"), ev<ReplacementValueUpdated>("y"),
                          ev<NameChangeModeUpdated>(ChangeMode::remove(false))});
  EXPECT_FALSE(state.replacement.has_value());
  EXPECT_TRUE(state.isValid());
  EXPECT_EQ(renamed(state, "axbx.txt"), "abx.txt");
  state.react(NameChangeModeUpdated(ChangeMode::replace(false)));
  EXPECT_FALSE(state.isValid());
}

TEST(RenameDialogState, PrefixAndSuffixFollowTheirSwitches) {
  auto state = stateWith({ev<NameChangeModeUpdated>(ChangeMode::none()), ev<PrefixChanged>(true, "new-"),
                          ev<SuffixChanged>(true, "-old")});
  EXPECT_EQ(renamed(state, "a.txt"), "new-a-old.txt");
  state.react(PrefixChanged(false, "new-"));
  EXPECT_FALSE(state.prefix.has_value());
  EXPECT_EQ(renamed(state, "a.txt"), "a-old.txt");
}

TEST(RenameDialogState, LengthLimitTogglesAndRemembersTheLastValue) {
  auto state = stateWith({ev<NameChangeModeUpdated>(ChangeMode::none()), ev<MaxNameLengthUpdated>(10)});
  EXPECT_TRUE(state.trimLength);
  EXPECT_EQ(renamed(state, "photograph.jpeg"), "photo.jpeg");
  state.react(MaxNameLengthUpdated(std::nullopt));
  EXPECT_FALSE(state.trimLength);
  EXPECT_EQ(state.maxNameLength, std::optional<std::int64_t>(10));
  EXPECT_EQ(renamed(state, "photograph.jpeg"), "photograph.jpeg");
  state.react(TrimNameToggled(true));
  EXPECT_EQ(renamed(state, "photograph.jpeg"), "photo.jpeg");
}

TEST(RenameDialogState, LimitBelowEightIsValidButMakesNoRule) {
  for (std::int64_t limit : {7, 0, -3}) {
    auto state = stateWith({ev<NameChangeModeUpdated>(ChangeMode::none()), ev<MaxNameLengthUpdated>(limit)});
    EXPECT_TRUE(state.isValid());
    EXPECT_EQ(state.strategy(), nullptr);
    EXPECT_FALSE(state.canExecute());
  }
  auto eight = stateWith({ev<NameChangeModeUpdated>(ChangeMode::none()), ev<MaxNameLengthUpdated>(8)});
  EXPECT_TRUE(eight.canExecute());
}

TEST(RenameDialogState, ReplaceTextNeedsPatternAndNonEmptyReplacement) {
  EXPECT_FALSE(stateWith({ev<PatternUpdated>("a")}).isValid());
  EXPECT_FALSE(stateWith({ev<PatternUpdated>("a"), ev<ReplacementValueUpdated>("")}).isValid());
  EXPECT_FALSE(stateWith({ev<ReplacementValueUpdated>("b")}).isValid());
  EXPECT_TRUE(stateWith({ev<PatternUpdated>("a"), ev<ReplacementValueUpdated>("b")}).isValid());
  // An invalid pattern still counts as valid settings; the rule then fails per item.
  auto broken = stateWith({ev<PatternUpdated>("("), ev<ReplacementValueUpdated>("b")});
  EXPECT_TRUE(broken.isValid());
  EXPECT_EQ(renamed(broken, "a(b"), "<failed>");
}

TEST(RenameDialogState, ReplaceCharactersNeedsEquallyLongLists) {
  auto mode = ev<NameChangeModeUpdated>(ChangeMode::replace(true));
  EXPECT_FALSE(stateWith({mode, ev<PatternUpdated>("abc"), ev<ReplacementValueUpdated>("xy")}).isValid());
  auto valid = stateWith({mode, ev<PatternUpdated>("abc"), ev<ReplacementValueUpdated>("xyz")});
  EXPECT_TRUE(valid.isValid());
  EXPECT_EQ(renamed(valid, "cab.abc"), "zxy.abc");
  // Counted in user-perceived characters.
  EXPECT_TRUE(stateWith({mode, ev<PatternUpdated>("e\u0301"), ev<ReplacementValueUpdated>("e")}).isValid());
}

TEST(RenameDialogState, DeleteCharactersRemovesEachListedCharacter) {
  auto state = stateWith({ev<NameChangeModeUpdated>(ChangeMode::remove(true)), ev<PatternUpdated>("_-")});
  EXPECT_EQ(renamed(state, "a_b-c_d.tar-gz"), "abcd.tar-gz");
  EXPECT_FALSE(stateWith({ev<NameChangeModeUpdated>(ChangeMode::remove(true))}).isValid());
}

TEST(RenameDialogState, RegexNeedsACompilingPatternAndAReplacement) {
  auto mode = ev<NameChangeModeUpdated>(ChangeMode::regex());
  EXPECT_FALSE(stateWith({mode, ev<PatternUpdated>("(\\d+)")}).isValid());
  EXPECT_FALSE(stateWith({mode, ev<PatternUpdated>("(\\d+"), ev<ReplacementValueUpdated>("x")}).isValid());
  auto state = stateWith({mode, ev<PatternUpdated>("(\\d+)"), ev<ReplacementValueUpdated>("#$1")});
  EXPECT_TRUE(state.isValid());
  EXPECT_EQ(renamed(state, "take 12.mov"), "take #12.mov");
  // The expression takes the case switch as its option.
  auto insensitive = stateWith({mode, ev<PatternUpdated>("take"), ev<ReplacementValueUpdated>("Shot"),
                                ev<CaseSensitivityToggled>(false)});
  EXPECT_EQ(renamed(insensitive, "TAKE 1.mov"), "Shot 1.mov");
}

TEST(RenameDialogState, NoChangeIsAlwaysValid) {
  auto state = stateWith({ev<NameChangeModeUpdated>(ChangeMode::none()), ev<CaseFormatChanged>(CaseFormat::lower)});
  EXPECT_TRUE(state.isValid());
  EXPECT_EQ(renamed(state, "Photo.JPG"), "photo.jpg");
}

TEST(RenameDialogState, RuleCarriesTheIncludeSwitches) {
  auto rule = stateWith({ev<NameChangeModeUpdated>(ChangeMode::none())}).strategy();
  ASSERT_NE(rule, nullptr);
  EXPECT_TRUE(rule->applyToFiles);
  EXPECT_FALSE(rule->applyToDirectories);
}

}  // namespace
}  // namespace ml::rename
