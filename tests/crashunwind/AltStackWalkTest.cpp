// A stack walk inside a signal handler running on an alternate stack, as the crash path runs:
// the walk must fit the alternate stack the signal handler sets up.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <ucontext.h>
#include <vector>

#include "ElfUnwindImages.h"
#include "crashreporter/unwind/FrameCursor.h"

namespace ml::crash {
namespace {

// The budget this test holds the walk to; the crash handler's alternate stack must be larger.
constexpr size_t kAltStackSize = 64 * 1024;
constexpr uint8_t kPaint = 0xA5;

test::ElfUnwindImages* g_images = nullptr;
uint32_t g_frames = 0;

void onSignal(int, siginfo_t*, void* context) {
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_mcontext_init(&state, &static_cast<ucontext_t*>(context)->uc_mcontext);
  tlframe_cursor_t cursor;
  tlframe_cursor_init(&cursor, tlcrash_async_task_self(), &state, g_images);
  g_frames = 0;
  while (g_frames < 128 && tlframe_cursor_next(&cursor) == TLFRAME_ESUCCESS) ++g_frames;
  tlframe_cursor_free(&cursor);
}

TEST(AltStackWalk, WalkFitsTheAlternateSignalStack) {
  std::vector<uint8_t> alt(kAltStackSize, kPaint);
  stack_t stack{};
  stack_t previous_stack{};
  stack.ss_sp = alt.data();
  stack.ss_size = alt.size();
  ASSERT_EQ(::sigaltstack(&stack, &previous_stack), 0);
  struct sigaction action{};
  struct sigaction previous{};
  action.sa_sigaction = onSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(::sigaction(SIGUSR2, &action, &previous), 0);

  test::ElfUnwindImages images;
  g_images = &images;
  ::raise(SIGUSR2);
  ::sigaction(SIGUSR2, &previous, nullptr);
  ::sigaltstack(&previous_stack, nullptr);

  EXPECT_GT(g_frames, 5u);
  // The stack grows down: the lowest byte that changed marks the deepest use.
  size_t untouched = 0;
  while (untouched < alt.size() && alt[untouched] == kPaint) ++untouched;
  const size_t used = alt.size() - untouched;
  RecordProperty("alt_stack_bytes_used", static_cast<int>(used));
  std::printf("stack walk used %zu bytes of a %zu-byte alternate stack\n", used, alt.size());
  EXPECT_LT(used, alt.size() - 4096) << "the walk came within a page of the alternate stack's end";
}

}  // namespace
}  // namespace ml::crash
