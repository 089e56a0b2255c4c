#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "crashreporter/image/AsyncList.h"

namespace ml::crash {
namespace {

using List = async_list<int>;

std::vector<int> values(List& list) {
  std::vector<int> out;
  list.set_reading(true);
  for (auto* n = list.next(nullptr); n != nullptr; n = list.next(n)) out.push_back(n->value);
  list.set_reading(false);
  return out;
}

TEST(AsyncList, AppendKeepsOrderAndPrependGoesFirst) {
  List list;
  list.append(1);
  list.append(2);
  list.prepend(0);
  list.append(3);
  EXPECT_EQ(values(list), (std::vector<int>{0, 1, 2, 3}));

  List only_prepends;
  only_prepends.prepend(2);
  only_prepends.prepend(1);
  EXPECT_EQ(values(only_prepends), (std::vector<int>{1, 2}));
}

TEST(AsyncList, RemovesHeadMiddleAndTail) {
  List list;
  auto* a = list.append(1);
  auto* b = list.append(2);
  auto* c = list.append(3);
  list.append(4);
  list.remove(b);
  EXPECT_EQ(values(list), (std::vector<int>{1, 3, 4}));
  list.remove(a);
  EXPECT_EQ(values(list), (std::vector<int>{3, 4}));
  EXPECT_TRUE(list.removeValue(4));
  EXPECT_EQ(values(list), (std::vector<int>{3}));
  list.append(5);  // the tail was fixed by the removal
  EXPECT_EQ(values(list), (std::vector<int>{3, 5}));
  list.remove(c);
  list.remove(c);  // no longer in the list: ignored
  EXPECT_FALSE(list.removeValue(42));
  EXPECT_EQ(values(list), (std::vector<int>{5}));
}

TEST(AsyncList, RemovedNodeWaitsOnTheFreeListWhileAReaderIsIn) {
  List list;
  list.append(1);
  auto* second = list.append(2);
  auto* third = list.append(3);

  list.set_reading(true);
  list.remove(second);
  list.remove(third);
  EXPECT_TRUE(list.isFree(second));
  auto* appended = list.append(4);  // a reader is in: removed nodes are not reused
  EXPECT_NE(appended, second);
  EXPECT_NE(appended, third);
  list.set_reading(false);

  EXPECT_EQ(list.append(5), third);    // last removed first
  EXPECT_EQ(list.append(6), second);   // then the one behind it
  EXPECT_EQ(values(list), (std::vector<int>{1, 4, 5, 6}));
}

TEST(AsyncList, ReaderOnARemovedNodeWalksOnIntoTheList) {
  List list;
  list.append(1);
  auto* b = list.append(2);
  list.append(3);
  list.set_reading(true);
  auto* at = list.next(list.next(nullptr));
  ASSERT_EQ(at, b);
  list.remove(b);
  auto* after = list.next(at);
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after->value, 3);
  list.set_reading(false);
}

TEST(AsyncList, ReadersSeeCompleteNodesWhileWritersChangeTheList) {
  List list;
  for (int i = 0; i < 8; ++i) list.append(1000 + i);
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        list.set_reading(true);
        int steps = 0;
        for (auto* n = list.next(nullptr); n != nullptr && steps < 100000; n = list.next(n), ++steps) {
          if (n->value < 1000) bad.fetch_add(1);
        }
        list.set_reading(false);
      }
    });
  }
  for (int round = 0; round < 2000; ++round) {
    auto* n = list.append(2000 + round);
    if (round % 2 == 0) list.prepend(3000 + round);
    list.remove(n);
    list.removeValue(3000 + round);
  }
  stop.store(true);
  for (auto& t : readers) t.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(values(list).size(), 8u);
}

}  // namespace
}  // namespace ml::crash
