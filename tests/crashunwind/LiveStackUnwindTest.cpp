// Unwinds real stacks of this process through the DWARF call frame information of the loaded
// images (the test binary, the C and C++ runtimes): from a captured context, and from inside a
// signal handler as the crash path does.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <ucontext.h>
#include <vector>

#include "ElfUnwindImages.h"
#include "crashreporter/unwind/FrameCursor.h"

namespace ml::crash {
namespace {

using test::ElfUnwindImages;

constexpr uint32_t kMaxFrames = 128;

struct Walk {
  ElfUnwindImages* images = nullptr;
  const tlframe_cursor_frame_reader_t* readers = nullptr;
  uint32_t reader_count = 0;
  uint64_t return_addresses[3] = {};  // into level2, level1 and the test body
  uint64_t pcs[kMaxFrames] = {};
  uint32_t frames = 0;
  tlframe_error_t end = TLFRAME_EUNKNOWN;
  int readers_left_counted_in = -1;
};

const tlframe_cursor_frame_reader_t kDwarfOnly[] = {tlframe_cursor_read_dwarf_unwind};

// Async-signal-safe: walks from `state` into the walk's fixed array.
void walkFrom(Walk* walk, const tlcrash_async_thread_state_t* state) {
  tlframe_cursor_t cursor;
  tlframe_cursor_init(&cursor, tlcrash_async_task_self(), state, walk->images);
  tlframe_error_t status;
  while ((status = tlframe_cursor_next_with_readers(&cursor, walk->readers, walk->reader_count)) == TLFRAME_ESUCCESS &&
         walk->frames < kMaxFrames) {
    uint64_t pc = 0;
    tlframe_cursor_get_reg(&cursor, TLCRASH_REG_IP, &pc);
    walk->pcs[walk->frames++] = pc;
  }
  walk->end = status;
  walk->readers_left_counted_in = walk->images->readers();
  tlframe_cursor_free(&cursor);
}

Walk* g_signal_walk = nullptr;

void onSignal(int, siginfo_t*, void* context) {
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_mcontext_init(&state, &static_cast<ucontext_t*>(context)->uc_mcontext);
  walkFrom(g_signal_walk, &state);
}

__attribute__((noinline)) void level3(Walk* walk, bool viaSignal) {
  walk->return_addresses[0] = reinterpret_cast<uint64_t>(__builtin_return_address(0));
  if (viaSignal) {
    g_signal_walk = walk;
    ::raise(SIGUSR2);
  } else {
    ucontext_t context;
    ::getcontext(&context);
    tlcrash_async_thread_state_t state;
    tlcrash_async_thread_state_mcontext_init(&state, &context.uc_mcontext);
    walkFrom(walk, &state);
  }
  asm volatile("" ::: "memory");  // no tail call: this frame stays on the stack
}

__attribute__((noinline)) void level2(Walk* walk, bool viaSignal) {
  walk->return_addresses[1] = reinterpret_cast<uint64_t>(__builtin_return_address(0));
  level3(walk, viaSignal);
  asm volatile("" ::: "memory");
}

__attribute__((noinline)) void level1(Walk* walk, bool viaSignal) {
  walk->return_addresses[2] = reinterpret_cast<uint64_t>(__builtin_return_address(0));
  level2(walk, viaSignal);
  asm volatile("" ::: "memory");
}

// Index of the first pc equal to `value` at or after `from`, or -1.
int find(const Walk& walk, uint64_t value, uint32_t from) {
  for (uint32_t i = from; i < walk.frames; ++i) {
    if (walk.pcs[i] == value) return static_cast<int>(i);
  }
  return -1;
}

TEST(LiveStackUnwind, DwarfWalksFromACapturedContextThroughEveryCaller) {
  ElfUnwindImages images;
  ASSERT_GT(images.count(), 0u);
  Walk walk;
  walk.images = &images;
  walk.readers = kDwarfOnly;
  walk.reader_count = 1;
  level1(&walk, false);

  ASSERT_GE(walk.frames, 4u);
  // Frame 0 is level3 itself; then its callers, one frame each.
  EXPECT_EQ(walk.pcs[1], walk.return_addresses[0]);
  EXPECT_EQ(walk.pcs[2], walk.return_addresses[1]);
  EXPECT_EQ(walk.pcs[3], walk.return_addresses[2]);
  EXPECT_EQ(walk.end, TLFRAME_ENOFRAME) << "the walk ends at the outermost frame, after " << walk.frames << " frames";
  EXPECT_EQ(walk.readers_left_counted_in, 0) << "every step counts out of the image list";
}

TEST(LiveStackUnwind, DwarfWalksOutOfASignalHandlerIntoTheInterruptedCode) {
  struct sigaction action{};
  struct sigaction previous{};
  action.sa_sigaction = onSignal;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(::sigaction(SIGUSR2, &action, &previous), 0);

  ElfUnwindImages images;
  Walk walk;
  walk.images = &images;
  walk.readers = kDwarfOnly;
  walk.reader_count = 1;
  level1(&walk, true);
  ::sigaction(SIGUSR2, &previous, nullptr);

  // The walk starts inside the C library's raise; level3's callers follow in order.
  int into2 = find(walk, walk.return_addresses[0], 0);
  ASSERT_GE(into2, 1) << "walk of " << walk.frames << " frames never reached level2";
  EXPECT_EQ(find(walk, walk.return_addresses[1], static_cast<uint32_t>(into2)), into2 + 1);
  EXPECT_EQ(find(walk, walk.return_addresses[2], static_cast<uint32_t>(into2)), into2 + 2);
  EXPECT_EQ(walk.end, TLFRAME_ENOFRAME);
}

TEST(LiveStackUnwind, EhFrameIsFoundThroughTheHeaderAlone) {
  ElfUnwindImages images;
  images.forgetEhFrames();
  Walk walk;
  walk.images = &images;
  walk.readers = kDwarfOnly;
  walk.reader_count = 1;
  level1(&walk, false);
  ASSERT_GE(walk.frames, 4u);
  EXPECT_EQ(walk.pcs[3], walk.return_addresses[2]);
  EXPECT_EQ(walk.end, TLFRAME_ENOFRAME);
}

TEST(LiveStackUnwind, DefaultChainFallsThroughToDwarfWhereThereIsNoCompactUnwind) {
  ElfUnwindImages images;
  Walk walk;
  walk.images = &images;
  walk.readers = frame_reader_chain;
  walk.reader_count = 3;
  level1(&walk, false);
  ASSERT_GE(walk.frames, 4u);
  EXPECT_EQ(walk.pcs[1], walk.return_addresses[0]);
  EXPECT_EQ(walk.pcs[2], walk.return_addresses[1]);
  EXPECT_EQ(walk.pcs[3], walk.return_addresses[2]);
}

}  // namespace
}  // namespace ml::crash
