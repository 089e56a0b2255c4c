#pragma once
// The crash log buffer: a copy of every log the channel has prepared but not yet finished with,
// kept in 60 fixed slots so that a crash loses none of them. At a crash the post-crash callback
// writes each slot to its own file in "crasheslogbuffer" (slot i: "<i>.tlcrasheslogbuffer", and
// "<i>.targettoken" for the encrypted target token) with open/write/close only; at the next
// start the files are read back, their logs re-enqueued and the files emptied.
//
// Slots are changed under the buffer's lock from any thread. The crash-time writer takes no lock
// and allocates nothing: every path is prepared at set-up, and a slot's bytes (the archive and
// the token) are an immutable block published through one atomic pointer. A change publishes a
// new block and frees the old one, unless a crash-time write has begun: then the old block is
// kept to the end of the process, since the writer may be reading it. So the writer sees, for
// each slot, a whole block or none, whatever other threads are doing.
//
// Crash logs and attachments never enter the buffer: the service stores them by its own means.
#include <array>
#include <atomic>
#include <climits>
#include <csignal>
#include <ucontext.h>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "beacon/core/TLAbstractLog.h"

namespace ml::beacon {

class TLCrashesLogBuffer {
 public:
  static constexpr int kSlotCount = 60;
  static constexpr std::string_view kBufferExtension = "tlcrasheslogbuffer";
  static constexpr std::string_view kTokenExtension = "targettoken";

  using Encrypt = std::function<std::optional<std::string>(const std::string&)>;
  using Decrypt = std::function<std::optional<std::string>(const std::string&)>;
  using Enqueue = std::function<void(std::shared_ptr<TLAbstractLog> log)>;
  using Now = std::function<double()>;  // seconds since 1970

  // The process-wide buffer the crash callback writes.
  static TLCrashesLogBuffer& shared();

  explicit TLCrashesLogBuffer(Now now = {});
  TLCrashesLogBuffer(const TLCrashesLogBuffer&) = delete;
  TLCrashesLogBuffer& operator=(const TLCrashesLogBuffer&) = delete;

  // Fixes the 60 file paths under `folderComponent` (relative to the client folder), creates the
  // files that do not exist yet (empty; a file left by a crash keeps its content) and frees
  // every slot.
  void setup(const std::string& folderComponent);

  // Copies a prepared log into the first free slot, else over the oldest one (lowest index on a
  // tie). Crash logs, attachments and logs that cannot be archived are not buffered. The token
  // (any one of the log's target tokens) is stored as `encrypt` gives it.
  void didPrepareLog(const TLAbstractLog& log, const std::string& internalId, const Encrypt& encrypt);
  // Frees every slot holding that internal id; after a crash-time write in this process, also
  // deletes the slot's file.
  void didCompleteEnqueueingLog(const TLAbstractLog& log, const std::string& internalId);

  // Crash time: writes every slot's bytes to its file (a free slot truncates its file) and each
  // non-empty token to its token file. Async-signal-safe.
  void saveAtCrash() noexcept;
  // The crash reporter's post-crash callback: saveAtCrash() of the shared buffer.
  static void postCrashCallback(siginfo_t* info, ucontext_t* userContext, void* context);

  // Reads every "*.tlcrasheslogbuffer" file of the folder, enqueues each log it decodes (with its
  // decrypted target token, when one was saved) and leaves every buffer file empty.
  static void processLogBufferAfterCrash(const std::string& folderComponent, const Decrypt& decrypt,
                                         const Enqueue& enqueue);
  // Empties every non-empty buffer file of the folder (the service was disabled).
  static void emptyLogBufferFiles(const std::string& folderComponent);

  // For tests.
  struct SlotView {
    std::vector<std::uint8_t> buffer;
    std::string targetToken;
    std::string internalId;
    double timestamp = 0;
  };
  SlotView slot(int index) const;
  std::string bufferPath(int index) const;

 private:
  // What the crash-time writer reads of a slot; never changed once published.
  struct Contents {
    std::vector<std::uint8_t> buffer;  // never empty
    std::string targetToken;
  };
  struct Slot {
    std::array<char, PATH_MAX> bufferPath{};
    std::array<char, PATH_MAX> targetTokenPath{};
    std::unique_ptr<const Contents> contents;  // null = free; under lock_
    std::atomic<const Contents*> published{nullptr};  // = contents.get(), for the crash-time writer
    std::string internalId;
    double timestamp = 0;
  };
  void fill(Slot& slot, std::vector<std::uint8_t> data, std::string token, const std::string& internalId);
  // Publishes `next` (null frees the slot) and lets go of the slot's previous contents. Under lock_.
  void replace(Slot& slot, std::unique_ptr<const Contents> next);

  Now now_;
  mutable std::mutex lock_;
  std::array<Slot, kSlotCount> slots_;
  std::atomic<bool> pathsReady_{false};
  std::atomic<bool> writeBufferTaskStarted_{false};
  // Contents replaced after a crash-time write began; the writer may still read them. Under lock_.
  std::vector<std::unique_ptr<const Contents>> keptForCrashWriter_;
};

}  // namespace ml::beacon
