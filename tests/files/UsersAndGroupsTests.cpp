#include "files/UsersAndGroups.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "files/Collections.h"
#include "support/FileFixtures.h"

namespace ml::files {
namespace {

TEST(UsersAndGroups, UnderscoreNamesAreDroppedButEveryNameIsLogged) {
  test::LogCapture log;
  EXPECT_EQ(withoutUnderscoreNames({"_daemon", "alice", "bob_smith"}, "filtering username. name=["),
            (std::vector<std::string>{"alice", "bob_smith"}));
  const auto text = log.text();
  for (const char* name : {"_daemon", "alice", "bob_smith"})
    EXPECT_NE(text.find(std::string("filtering username. name=[") + name + "]"), std::string::npos) << name;
  EXPECT_TRUE(withoutUnderscoreNames({}, "x").empty());
}

TEST(UsersAndGroups, ComeFromTheSystemDatabases) {
  auto users = allUsers();
  ASSERT_TRUE(users);
  EXPECT_NE(std::find(users->begin(), users->end(), "root"), users->end());
  auto groups = allGroups();
  ASSERT_TRUE(groups);
  EXPECT_NE(std::find(groups->begin(), groups->end(), "root"), groups->end());
  for (const auto& name : *groups) EXPECT_FALSE(name.starts_with("_"));
}

TEST(Collections, PeekVisitsInOrderAndDistinctKeepsFirstOccurrences) {
  std::vector<int> seen;
  EXPECT_EQ(peek(std::vector<int>{3, 1, 2}, [&](int v) { seen.push_back(v); }), (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(seen, (std::vector<int>{3, 1, 2}));
  EXPECT_TRUE(peek(std::vector<int>{}, [](int) { FAIL(); }).empty());
  EXPECT_EQ(distinct(std::vector<std::string>{"b", "a", "b", "c", "a"}), (std::vector<std::string>{"b", "a", "c"}));
  int calls = 0;
  EXPECT_TRUE(anySatisfy(std::vector<int>{1, 2, 3}, [&](int v) { ++calls; return v == 2; }));
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace ml::files
