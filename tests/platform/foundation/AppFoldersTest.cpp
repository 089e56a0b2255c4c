#include "platform/foundation/AppFolders.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/foundation/AppIdentity.h"
#include "support/TempDir.h"

namespace ml::foundation {
namespace {

TEST(AppFoldersTest, FollowTheXdgVariablesAtEachCall) {
  test::XdgSandbox sandbox;
  const std::string id = "org.marrowlane.Marrowlane";
  EXPECT_EQ(AppFolders::config(), sandbox.root() / "XDG_CONFIG_HOME" / id);
  EXPECT_EQ(AppFolders::data(), sandbox.root() / "XDG_DATA_HOME" / id);
  EXPECT_EQ(AppFolders::cache(), sandbox.root() / "XDG_CACHE_HOME" / id);
  EXPECT_EQ(AppFolders::state(), sandbox.root() / "XDG_STATE_HOME" / id);
  EXPECT_EQ(AppFolders::logs(), sandbox.root() / "XDG_STATE_HOME" / id / "logs");

  setenv("XDG_CONFIG_HOME", "/elsewhere", 1);
  EXPECT_EQ(AppFolders::config(), std::filesystem::path("/elsewhere") / id);
}

TEST(AppFoldersTest, UnsetEmptyOrRelativeVariablesFallBackToHomeDefaults) {
  test::XdgSandbox sandbox;
  const char* oldHome = std::getenv("HOME");
  std::string savedHome = oldHome ? oldHome : "";
  setenv("HOME", "/home/someone", 1);
  unsetenv("XDG_CONFIG_HOME");
  setenv("XDG_DATA_HOME", "", 1);
  setenv("XDG_CACHE_HOME", "relative/cache", 1);
  unsetenv("XDG_STATE_HOME");
  EXPECT_EQ(AppFolders::config(), "/home/someone/.config/org.marrowlane.Marrowlane");
  EXPECT_EQ(AppFolders::data(), "/home/someone/.local/share/org.marrowlane.Marrowlane");
  EXPECT_EQ(AppFolders::cache(), "/home/someone/.cache/org.marrowlane.Marrowlane");
  EXPECT_EQ(AppFolders::logs(), "/home/someone/.local/state/org.marrowlane.Marrowlane/logs");
  if (oldHome)
    setenv("HOME", savedHome.c_str(), 1);
  else
    unsetenv("HOME");
}

TEST(AppIdentityTest, NamesTheApplicationAndItsBuildVersion) {
  EXPECT_EQ(AppIdentity::identifier(), "org.marrowlane.Marrowlane");
  EXPECT_EQ(AppIdentity::name(), "Marrowlane");
  EXPECT_FALSE(AppIdentity::version().empty());
  EXPECT_NE(AppIdentity::version().find('.'), std::string::npos);
}

}  // namespace
}  // namespace ml::foundation
