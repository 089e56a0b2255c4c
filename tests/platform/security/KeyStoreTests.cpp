#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "platform/security/KeyStore.h"
#include "support/TempDir.h"

namespace ml::security {
namespace {

namespace fs = std::filesystem;

Bytes bytesOf(std::string_view text) {
  auto view = asBytes(text);
  return {view.begin(), view.end()};
}

mode_t modeOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

class KeyStoreTest : public ::testing::Test {
 protected:
  test::TempDir temp;
  KeyStore store{temp.path() / "data" / "keys"};
};

TEST_F(KeyStoreTest, StoredItemReadsBack) {
  ASSERT_EQ(store.add("svc", "acct", bytesOf("secret")), KeyStore::kSuccess);
  int status = 1;
  EXPECT_EQ(store.copy("svc", "acct", &status), bytesOf("secret"));
  EXPECT_EQ(status, KeyStore::kSuccess);
}

TEST_F(KeyStoreTest, MissingItemIsNotFound) {
  int status = 0;
  EXPECT_FALSE(store.copy("svc", "none", &status));
  EXPECT_EQ(status, KeyStore::kItemNotFound);
  EXPECT_EQ(store.remove("svc", "none"), KeyStore::kItemNotFound);
  EXPECT_EQ(store.removeAll("svc"), KeyStore::kItemNotFound);
}

TEST_F(KeyStoreTest, AddOverExistingItemIsDuplicateAndKeepsValue) {
  ASSERT_EQ(store.add("svc", "acct", bytesOf("one")), KeyStore::kSuccess);
  EXPECT_EQ(store.add("svc", "acct", bytesOf("two")), KeyStore::kDuplicateItem);
  EXPECT_EQ(store.copy("svc", "acct"), bytesOf("one"));
  EXPECT_EQ(store.set("svc", "acct", bytesOf("two")), KeyStore::kSuccess);
  EXPECT_EQ(store.copy("svc", "acct"), bytesOf("two"));
}

TEST_F(KeyStoreTest, FoldersArePrivateAndItemsOwnerOnly) {
  mode_t previous = ::umask(0);  // the most permissive umask must not loosen the store
  int status = store.add("svc", "acct", bytesOf("secret"));
  ::umask(previous);
  ASSERT_EQ(status, KeyStore::kSuccess);
  EXPECT_EQ(modeOf(store.root()), 0700u);
  EXPECT_EQ(modeOf(store.root() / "svc"), 0700u);
  EXPECT_EQ(modeOf(store.root() / "svc" / "acct"), 0600u);
}

TEST_F(KeyStoreTest, LooseExistingFolderIsTightened) {
  fs::create_directories(store.root() / "svc");
  fs::permissions(store.root(), fs::perms::all);
  fs::permissions(store.root() / "svc", fs::perms::all);
  ASSERT_EQ(store.add("svc", "acct", bytesOf("secret")), KeyStore::kSuccess);
  EXPECT_EQ(modeOf(store.root()), 0700u);
  EXPECT_EQ(modeOf(store.root() / "svc"), 0700u);
}

TEST_F(KeyStoreTest, HostileNamesStayInsideTheirFolder) {
  for (std::string_view name : {"", ".", "..", "../../escape", "a/b", ".tmp-ABCDEF", "%", "%41"}) {
    ASSERT_EQ(store.set("svc", name, bytesOf(name)), KeyStore::kSuccess) << name;
  }
  for (std::string_view name : {"", ".", "..", "../../escape", "a/b", ".tmp-ABCDEF", "%", "%41"}) {
    EXPECT_EQ(store.copy("svc", name), bytesOf(name)) << name;
  }
  EXPECT_FALSE(fs::exists(temp.path() / "escape"));
  EXPECT_FALSE(fs::exists(temp.path() / "data" / "escape"));
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(store.root() / "svc")) {
    EXPECT_TRUE(entry.is_regular_file());
    ++files;
  }
  EXPECT_EQ(files, 8u);
  EXPECT_NE(KeyStore::encodeName("A"), KeyStore::encodeName("%41"));
  EXPECT_EQ(KeyStore::encodeName("org.example.App"), "org.example.App");
  EXPECT_EQ(KeyStore::encodeName(".."), "%2E.");
}

TEST_F(KeyStoreTest, RemoveAllClearsOnlyThatService) {
  store.add("svc", "a", bytesOf("1"));
  store.add("svc", "b", bytesOf("2"));
  store.add("other", "a", bytesOf("3"));
  EXPECT_EQ(store.removeAll("svc"), KeyStore::kSuccess);
  EXPECT_FALSE(store.copy("svc", "a"));
  EXPECT_FALSE(store.copy("svc", "b"));
  EXPECT_EQ(store.copy("other", "a"), bytesOf("3"));
}

TEST_F(KeyStoreTest, OversizedItemIsRefusedBothWays) {
  EXPECT_NE(store.add("svc", "big", Bytes(KeyStore::kMaxItemSize + 1, 1)), KeyStore::kSuccess);
  store.add("svc", "small", bytesOf("x"));
  {
    std::ofstream out(store.root() / "svc" / "small", std::ios::binary | std::ios::trunc);
    out << std::string(KeyStore::kMaxItemSize + 1, 'x');
  }
  int status = 0;
  EXPECT_FALSE(store.copy("svc", "small", &status));
  EXPECT_NE(status, KeyStore::kSuccess);
}

TEST_F(KeyStoreTest, ConcurrentAddsHaveExactlyOneWinner) {
  constexpr int kThreads = 8;
  std::vector<int> statuses(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] { statuses[i] = store.add("svc", "key", bytesOf(std::to_string(i))); });
  }
  for (auto& t : threads) t.join();
  int winners = 0;
  int winner = -1;
  for (int i = 0; i < kThreads; ++i) {
    if (statuses[i] == KeyStore::kSuccess) {
      ++winners;
      winner = i;
    } else {
      EXPECT_EQ(statuses[i], KeyStore::kDuplicateItem);
    }
  }
  ASSERT_EQ(winners, 1);
  EXPECT_EQ(store.copy("svc", "key"), bytesOf(std::to_string(winner)));
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(store.root() / "svc")) ++files;
  EXPECT_EQ(files, 1u);  // no temporary file left behind
}

}  // namespace
}  // namespace ml::security
