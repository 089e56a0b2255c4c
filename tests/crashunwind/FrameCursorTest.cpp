// The frame cursor's stepping rules and the frame-pointer reader.
#include <gtest/gtest.h>

#include <array>

#include "FixedUnwindImages.h"
#include "StderrCapture.h"
#include "crashreporter/unwind/CpuType.h"
#include "crashreporter/unwind/FrameCursor.h"

namespace ml::crash {
namespace {

using test::FixedUnwindImages;
using test::StderrCapture;

tlcrash_async_thread_state_t frame(uint64_t ip, uint64_t fp) {
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86_64);
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_REG_IP, ip);
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_REG_FP, fp);
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_REG_SP, fp - 0x20);
  return state;
}

// Readers that record their calls and answer as told.
struct Script {
  int calls[2] = {0, 0};
  tlframe_error_t answers[2] = {TLFRAME_ENOTSUP, TLFRAME_ENOTSUP};
  uint64_t next_ip = 0x402000;
  bool previous_was_null = false;
};
Script* g_script = nullptr;

tlframe_error_t scripted(int which, const tlcrash_async_thread_state_t* current, const tlcrash_async_thread_state_t* previous,
                         tlcrash_async_thread_state_t* next) {
  g_script->calls[which]++;
  g_script->previous_was_null = previous == nullptr;
  if (g_script->answers[which] != TLFRAME_ESUCCESS) return g_script->answers[which];
  tlcrash_async_thread_state_copy(next, current);
  tlcrash_async_thread_state_set_reg(next, TLCRASH_REG_IP, g_script->next_ip);
  return TLFRAME_ESUCCESS;
}
tlframe_error_t first(tlcrash_task_t, UnwindImageLookup*, const tlcrash_async_thread_state_t* c,
                      const tlcrash_async_thread_state_t* p, tlcrash_async_thread_state_t* n) {
  return scripted(0, c, p, n);
}
tlframe_error_t second(tlcrash_task_t, UnwindImageLookup*, const tlcrash_async_thread_state_t* c,
                       const tlcrash_async_thread_state_t* p, tlcrash_async_thread_state_t* n) {
  return scripted(1, c, p, n);
}
const tlframe_cursor_frame_reader_t kScripted[] = {first, second};

TEST(FrameStatus, TextsCoverEveryCode) {
  EXPECT_STREQ(tlframe_strerror(0), "No error");
  EXPECT_STREQ(tlframe_strerror(2), "No frames are available");
  EXPECT_STREQ(tlframe_strerror(3), "Corrupted frame");
  EXPECT_STREQ(tlframe_strerror(7), "Invalid register");
  EXPECT_STREQ(tlframe_strerror(8), "Unhandled error code");
}

TEST(FrameCursor, FirstStepYieldsTheInitialFrameWithoutReading) {
  Script script;
  g_script = &script;
  FixedUnwindImages images;
  auto initial = frame(0x401000, 0x7000);
  tlframe_cursor_t cursor;
  tlframe_cursor_init(&cursor, tlcrash_async_task_self(), &initial, &images);
  ASSERT_EQ(tlframe_cursor_next_with_readers(&cursor, kScripted, 2), TLFRAME_ESUCCESS);
  EXPECT_EQ(script.calls[0] + script.calls[1], 0);
  uint64_t ip = 0;
  ASSERT_EQ(tlframe_cursor_get_reg(&cursor, TLCRASH_REG_IP, &ip), TLFRAME_ESUCCESS);
  EXPECT_EQ(ip, 0x401000u);
  EXPECT_EQ(tlframe_cursor_get_regcount(&cursor), 21u);
  EXPECT_STREQ(tlframe_cursor_get_regname(&cursor, 2), "rsp");
}

TEST(FrameCursor, FirstSuccessfulReaderWinsAndTheCallerBecomesCurrent) {
  Script script;
  script.answers[1] = TLFRAME_ESUCCESS;
  g_script = &script;
  FixedUnwindImages images;
  auto initial = frame(0x401000, 0x7000);
  tlframe_cursor_t cursor;
  tlframe_cursor_init(&cursor, tlcrash_async_task_self(), &initial, &images);
  tlframe_cursor_next_with_readers(&cursor, kScripted, 2);
  ASSERT_EQ(tlframe_cursor_next_with_readers(&cursor, kScripted, 2), TLFRAME_ESUCCESS);
  EXPECT_EQ(script.calls[0], 1);
  EXPECT_EQ(script.calls[1], 1);
  EXPECT_TRUE(script.previous_was_null) << "the second frame has no previous frame";
  uint64_t ip = 0;
  tlframe_cursor_get_reg(&cursor, TLCRASH_REG_IP, &ip);
  EXPECT_EQ(ip, 0x402000u);
  EXPECT_EQ(cursor.depth, 2u);
  script.answers[0] = TLFRAME_ESUCCESS;
  ASSERT_EQ(tlframe_cursor_next_with_readers(&cursor, kScripted, 2), TLFRAME_ESUCCESS);
  EXPECT_FALSE(script.previous_was_null);
  EXPECT_EQ(script.calls[1], 1);
}

TEST(FrameCursor, WhenEveryReaderFailsTheLastOnesStatusIsReturnedAndFramesStay) {
  Script script;
  script.answers[0] = TLFRAME_EBADFRAME;
  script.answers[1] = TLFRAME_EINVAL;
  g_script = &script;
  FixedUnwindImages images;
  auto initial = frame(0x401000, 0x7000);
  tlframe_cursor_t cursor;
  tlframe_cursor_init(&cursor, tlcrash_async_task_self(), &initial, &images);
  tlframe_cursor_next_with_readers(&cursor, kScripted, 2);
  EXPECT_EQ(tlframe_cursor_next_with_readers(&cursor, kScripted, 2), TLFRAME_EINVAL);
  uint64_t ip = 0;
  tlframe_cursor_get_reg(&cursor, TLCRASH_REG_IP, &ip);
  EXPECT_EQ(ip, 0x401000u);
  EXPECT_EQ(cursor.depth, 1u);
  EXPECT_EQ(tlframe_cursor_next_with_readers(&cursor, kScripted, 0), TLFRAME_EINVAL);
}

TEST(FrameCursor, LowReturnAddressEndsTheWalk) {
  Script script;
  script.answers[0] = TLFRAME_ESUCCESS;
  script.next_ip = 0x1000;
  g_script = &script;
  FixedUnwindImages images;
  auto initial = frame(0x401000, 0x7000);
  tlframe_cursor_t cursor;
  tlframe_cursor_init(&cursor, tlcrash_async_task_self(), &initial, &images);
  tlframe_cursor_next_with_readers(&cursor, kScripted, 2);
  EXPECT_EQ(tlframe_cursor_next_with_readers(&cursor, kScripted, 2), TLFRAME_ENOFRAME);
  script.next_ip = 0x1001;
  EXPECT_EQ(tlframe_cursor_next_with_readers(&cursor, kScripted, 2), TLFRAME_ESUCCESS);
}

TEST(FramePointerReader, FollowsTheSavedFramePointerChain) {
  // Two frame records: [saved fp, return address].
  std::array<uint64_t, 4> stack{};
  stack[0] = reinterpret_cast<uint64_t>(&stack[2]);
  stack[1] = 0x403000;
  stack[2] = 0;
  stack[3] = 0x404000;
  FixedUnwindImages images;
  auto initial = frame(0x401000, reinterpret_cast<uint64_t>(&stack[0]));
  tlframe_cursor_t cursor;
  tlframe_cursor_init(&cursor, tlcrash_async_task_self(), &initial, &images);
  const tlframe_cursor_frame_reader_t fp_only[] = {tlframe_cursor_read_frame_ptr};
  tlframe_cursor_next_with_readers(&cursor, fp_only, 1);
  ASSERT_EQ(tlframe_cursor_next_with_readers(&cursor, fp_only, 1), TLFRAME_ESUCCESS);
  uint64_t value = 0;
  tlframe_cursor_get_reg(&cursor, TLCRASH_REG_IP, &value);
  EXPECT_EQ(value, 0x403000u);
  EXPECT_EQ(tlframe_cursor_get_reg(&cursor, TLCRASH_REG_SP, &value), TLFRAME_ENOTSUP) << "the stack pointer stays unknown";
  ASSERT_EQ(tlframe_cursor_next_with_readers(&cursor, fp_only, 1), TLFRAME_ESUCCESS);
  tlframe_cursor_get_reg(&cursor, TLCRASH_REG_IP, &value);
  EXPECT_EQ(value, 0x404000u);
  StderrCapture err;
  EXPECT_EQ(tlframe_cursor_next_with_readers(&cursor, fp_only, 1), TLFRAME_ENOFRAME) << "a null frame pointer ends the walk";
  EXPECT_EQ(err.text(), "");
}

TEST(FramePointerReader, FramePointerGoingBackUpTheStackIsCorrupt) {
  std::array<uint64_t, 4> stack{};
  auto current = frame(0x401000, reinterpret_cast<uint64_t>(&stack[0]));
  auto previous = frame(0x400000, reinterpret_cast<uint64_t>(&stack[2]));
  tlcrash_async_thread_state_t next;
  StderrCapture err;
  EXPECT_EQ(tlframe_cursor_read_frame_ptr(tlcrash_async_task_self(), nullptr, &current, &previous, &next), TLFRAME_EBADFRAME);
  EXPECT_TRUE(err.contains("Stack growing in wrong direction, terminating stack walk"));
}

TEST(FramePointerReader, SavedFramePointerThatDoesNotLeadUpTheStackEndsTheWalk) {
  // A record linked to itself would repeat its frame to the walk's limit; one linked back down the
  // stack would wander. Its return address is good: the walk takes that frame, then ends.
  for (size_t link : {size_t{2}, size_t{0}}) {
    std::array<uint64_t, 4> stack{};
    stack[0] = reinterpret_cast<uint64_t>(&stack[2]);
    stack[1] = 0x403000;
    stack[2] = reinterpret_cast<uint64_t>(&stack[link]);
    stack[3] = 0x404000;
    FixedUnwindImages images;
    auto initial = frame(0x401000, reinterpret_cast<uint64_t>(&stack[0]));
    tlframe_cursor_t cursor;
    tlframe_cursor_init(&cursor, tlcrash_async_task_self(), &initial, &images);
    const tlframe_cursor_frame_reader_t fp_only[] = {tlframe_cursor_read_frame_ptr};
    int frames = 0;
    StderrCapture err;
    while (frames < 10 && tlframe_cursor_next_with_readers(&cursor, fp_only, 1) == TLFRAME_ESUCCESS) ++frames;
    EXPECT_EQ(frames, 3) << "link to stack[" << link << "]: the initial frame, 0x403000 and 0x404000";
    uint64_t value = 0;
    EXPECT_EQ(tlframe_cursor_get_reg(&cursor, TLCRASH_REG_IP, &value), TLFRAME_ESUCCESS);
    EXPECT_EQ(value, 0x404000u);
    EXPECT_EQ(tlframe_cursor_get_reg(&cursor, TLCRASH_REG_FP, &value), TLFRAME_ENOTSUP) << "the bad link is not taken";
    EXPECT_TRUE(err.contains("Saved frame pointer does not lead up the stack, terminating stack walk"));
  }
}

TEST(FramePointerReader, MissingOrUnreadableFramePointerIsCorrupt) {
  tlcrash_async_thread_state_t next;
  StderrCapture err;
  auto unreadable = frame(0x401000, 0x10);
  EXPECT_EQ(tlframe_cursor_read_frame_ptr(tlcrash_async_task_self(), nullptr, &unreadable, nullptr, &next), TLFRAME_EBADFRAME);
  EXPECT_TRUE(err.contains("Failed to read frame: 14"));
  auto missing = frame(0x401000, 0x7000);
  tlcrash_async_thread_state_clear_reg(&missing, TLCRASH_REG_FP);
  EXPECT_EQ(tlframe_cursor_read_frame_ptr(tlcrash_async_task_self(), nullptr, &missing, nullptr, &next), TLFRAME_EBADFRAME);
  EXPECT_TRUE(err.contains("The frame pointer is unavailable, can't read saved register."));
}

}  // namespace
}  // namespace ml::crash
