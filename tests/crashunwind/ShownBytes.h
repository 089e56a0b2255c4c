#pragma once
// A test buffer shown to the unwind parsers through each kind of memory window: in place with
// plain loads (LocalMemoryWindow, at a pretend address), through the safe reads of the live task
// (TaskMemoryWindow) and through a memory object of the image readers (MemoryObjectWindow), both
// at the buffer's own address. A test body written once over ShownBytes<Window> runs over all
// three: the parsers read crash-time memory through the last two.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "crashreporter/image/MemoryObject.h"
#include "crashreporter/unwind/LocalMemoryWindow.h"
#include "crashreporter/unwind/MemoryObjectWindow.h"
#include "crashreporter/unwind/TaskMemoryWindow.h"

namespace ml::crash::test {

template <class Window>
class ShownBytes;

template <>
class ShownBytes<LocalMemoryWindow> {
 public:
  static constexpr uint64_t kPretendBase = 0x300000;
  explicit ShownBytes(const std::vector<uint8_t>& bytes) : window_(bytes.data(), kPretendBase, bytes.size()) {}
  LocalMemoryWindow& window() { return window_; }

 private:
  LocalMemoryWindow window_;
};

template <>
class ShownBytes<TaskMemoryWindow> {
 public:
  explicit ShownBytes(const std::vector<uint8_t>& bytes)
      : window_(tlcrash_async_task_self(), reinterpret_cast<uint64_t>(bytes.data()), bytes.size()) {}
  TaskMemoryWindow& window() { return window_; }

 private:
  TaskMemoryWindow window_;
};

template <>
class ShownBytes<MemoryObjectWindow> {
 public:
  explicit ShownBytes(const std::vector<uint8_t>& bytes) {
    mapped_ = tlcrash_async_mobject_init(&object_, tlcrash_async_task_self(), reinterpret_cast<uint64_t>(bytes.data()),
                                         bytes.size(), true) == TLCRASH_ESUCCESS;
    EXPECT_TRUE(mapped_) << "the buffer could not be mapped as a memory object";
  }
  ~ShownBytes() {
    if (mapped_) tlcrash_async_mobject_free(&object_);
  }
  ShownBytes(const ShownBytes&) = delete;
  ShownBytes& operator=(const ShownBytes&) = delete;
  MemoryObjectWindow& window() { return window_; }

 private:
  tlcrash_async_mobject object_{};
  bool mapped_ = false;
  MemoryObjectWindow window_{&object_};
};

using MemoryWindowKinds = ::testing::Types<LocalMemoryWindow, TaskMemoryWindow, MemoryObjectWindow>;

// Names the instances after the window ("DwarfFindFde/TaskMemoryWindow.SkipsCies...").
struct MemoryWindowName {
  template <class Window>
  static std::string GetName(int) {
    if constexpr (std::is_same_v<Window, LocalMemoryWindow>) return "LocalMemoryWindow";
    if constexpr (std::is_same_v<Window, TaskMemoryWindow>) return "TaskMemoryWindow";
    return "MemoryObjectWindow";
  }
};

}  // namespace ml::crash::test
