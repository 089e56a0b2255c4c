#include "beacon/crashes/Internals/TLCrashesLogBuffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLNeverDestroyed.h"
#include "beacon/core/TLUtilityFile.h"
#include "beacon/crashes/Model/TLAppleErrorLog.h"
#include "beacon/crashes/Model/TLCrashesArchiveClasses.h"
#include "beacon/crashes/Model/TLErrorAttachmentLog.h"
#include "beacon/crashes/TLCrashesLog.h"

namespace ml::beacon {

namespace {

double secondsSince1970() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string tokenPathFor(std::string path) {
  const std::string from(TLCrashesLogBuffer::kBufferExtension);
  const std::string to(TLCrashesLogBuffer::kTokenExtension);
  for (size_t at = path.find(from); at != std::string::npos; at = path.find(from, at + to.size())) {
    path.replace(at, from.size(), to);
  }
  return path;
}

bool copyPath(std::array<char, PATH_MAX>& target, const std::string& path) {
  if (path.size() >= target.size()) {
    target[0] = '\0';
    return false;
  }
  std::memcpy(target.data(), path.c_str(), path.size() + 1);
  return true;
}

// One crash-time write: create or truncate, one write, close. Failures are skipped silently. The
// file is the owner's alone, as every file of the client's store is.
void writeFile(const char* path, const void* bytes, size_t length) noexcept {
  if (path[0] == '\0') return;
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return;
  (void)::fchmod(fd, 0600);  // a file an older version made readable by all
  if (length > 0) {
    const ssize_t ignored = ::write(fd, bytes, length);
    (void)ignored;
  }
  ::close(fd);
}

bool hasBufferExtension(const std::filesystem::path& path) {
  return path.extension() == "." + std::string(TLCrashesLogBuffer::kBufferExtension);
}

}  // namespace

TLCrashesLogBuffer& TLCrashesLogBuffer::shared() {
  static TLNeverDestroyed<TLCrashesLogBuffer> buffer;
  return buffer.get();
}

TLCrashesLogBuffer::TLCrashesLogBuffer(Now now) : now_(now ? std::move(now) : Now(secondsSince1970)) {}

void TLCrashesLogBuffer::setup(const std::string& folderComponent) {
  std::lock_guard lock(lock_);
  pathsReady_.store(false);
  for (int i = 0; i < kSlotCount; ++i) {
    Slot& slot = slots_[i];
    const std::string component = folderComponent + "/" + std::to_string(i) + "." + std::string(kBufferExtension);
    const auto url = TLUtilityFile::fullURLForPathComponent(component);
    // Nothing is created for a path the crash-time writer could not hold.
    if (url && url->string().size() < PATH_MAX) {
      TLUtilityFile::createFileAtPathComponent(component, std::nullopt, false, false);
    }
    copyPath(slot.bufferPath, url ? url->string() : std::string());
    copyPath(slot.targetTokenPath, url ? tokenPathFor(url->string()) : std::string());
    replace(slot, nullptr);
    slot.internalId.clear();
    slot.timestamp = 0;
  }
  pathsReady_.store(true);
}

void TLCrashesLogBuffer::replace(Slot& slot, std::unique_ptr<const Contents> next) {
  // Publish first, then look whether a crash-time write has begun (both sequentially consistent,
  // as are the writer's flag store and pointer load): either the writer loads the new pointer,
  // or this sees its flag and keeps the old contents alive for it.
  slot.published.store(next.get());
  std::unique_ptr<const Contents> previous = std::exchange(slot.contents, std::move(next));
  if (previous && writeBufferTaskStarted_.load()) keptForCrashWriter_.push_back(std::move(previous));
}

void TLCrashesLogBuffer::fill(Slot& slot, std::vector<std::uint8_t> data, std::string token,
                              const std::string& internalId) {
  replace(slot, std::make_unique<const Contents>(Contents{std::move(data), std::move(token)}));
  slot.internalId = internalId;
  slot.timestamp = now_();
}

void TLCrashesLogBuffer::didPrepareLog(const TLAbstractLog& log, const std::string& internalId, const Encrypt& encrypt) {
  if (dynamic_cast<const TLAppleErrorLog*>(&log) || dynamic_cast<const TLErrorAttachmentLog*>(&log)) return;
  std::lock_guard lock(lock_);
  auto data = TLKeyedArchiver::archivedData(log);
  if (!data || data->empty()) return;
  std::string token;
  if (auto tokens = log.transmissionTargetTokens(); tokens && !tokens->empty() && encrypt) {
    token = encrypt(*tokens->begin()).value_or("");
  }
  TL_LOG_VERBOSE(kCrashesLogTag, "Storing a log to Crashes Buffer: (sid: " << log.sid().value_or("(null)")
                                                                          << ", type: " << log.type().value_or("(null)")
                                                                          << ")");
  double oldest = std::numeric_limits<double>::max();
  int oldestIndex = 0;
  for (int i = 0; i < kSlotCount; ++i) {
    Slot& slot = slots_[i];
    if (!slot.contents) {
      fill(slot, std::move(*data), std::move(token), internalId);
      TL_LOG_VERBOSE(kCrashesLogTag, "Found an empty buffer position.");
      return;
    }
    if (slot.timestamp < oldest) {
      oldestIndex = i;
      oldest = slot.timestamp;
      TL_LOG_VERBOSE(kCrashesLogTag, "Remembering index " << i << " for oldest timestamp " << oldest << ".");
    }
  }
  TL_LOG_VERBOSE(kCrashesLogTag, "Reached end of buffer. Next step is overwriting the oldest one.");
  fill(slots_[oldestIndex], std::move(*data), std::move(token), internalId);
  TL_LOG_VERBOSE(kCrashesLogTag, "Overwrote buffered log at index " << oldestIndex << ".");
}

void TLCrashesLogBuffer::didCompleteEnqueueingLog(const TLAbstractLog& log, const std::string& internalId) {
  if (internalId.empty()) return;
  std::lock_guard lock(lock_);
  for (Slot& slot : slots_) {
    if (slot.internalId.empty() || slot.internalId != internalId) continue;
    TL_LOG_VERBOSE(kCrashesLogTag, "Deleting a log from buffer with id " << internalId);
    replace(slot, nullptr);
    slot.internalId.clear();
    slot.timestamp = 0;
    if (writeBufferTaskStarted_.load()) {
      ::unlink(slot.bufferPath.data());
      TL_LOG_VERBOSE(kCrashesLogTag, "Deleted a log from Crashes Buffer (sid: " << log.sid().value_or("(null)")
                                                                                << ", type: " << log.type().value_or("(null)")
                                                                                << ")");
      TL_LOG_VERBOSE(kCrashesLogTag, "Deleted crash buffer file: " << slot.bufferPath.data() << ".");
    }
  }
}

void TLCrashesLogBuffer::saveAtCrash() noexcept {
  writeBufferTaskStarted_.store(true);
  if (!pathsReady_.load()) return;
  for (Slot& slot : slots_) {
    const Contents* contents = slot.published.load();
    if (contents == nullptr) {
      writeFile(slot.bufferPath.data(), nullptr, 0);  // a free slot leaves an empty file
      continue;
    }
    writeFile(slot.bufferPath.data(), contents->buffer.data(), contents->buffer.size());
    if (!contents->targetToken.empty()) {
      writeFile(slot.targetTokenPath.data(), contents->targetToken.data(), contents->targetToken.size());
    }
  }
}

void TLCrashesLogBuffer::postCrashCallback(siginfo_t* info, ucontext_t* userContext, void* context) {
  (void)info;
  (void)userContext;
  (void)context;
  shared().saveAtCrash();
}

void TLCrashesLogBuffer::processLogBufferAfterCrash(const std::string& folderComponent, const Decrypt& decrypt,
                                                    const Enqueue& enqueue) {
  auto files = TLUtilityFile::contentsOfDirectory(folderComponent);
  if (!files) return;
  registerCrashesArchiveClasses();
  for (const auto& file : *files) {
    if (!hasBufferExtension(file)) continue;
    auto data = TLUtilityFile::loadDataForPathComponent(folderComponent + "/" + file.filename().string());
    if (data && !data->empty()) {
      auto log = TLKeyedUnarchiver::unarchivedObjectOfClass<TLAbstractLog>(*data);
      if (log) {
        const std::filesystem::path tokenFile = tokenPathFor(file.string());
        auto tokenData =
            TLUtilityFile::loadDataForPathComponent(folderComponent + "/" + tokenFile.filename().string());
        if (tokenData) {
          std::optional<std::string> plain;
          if (decrypt) plain = decrypt(std::string(tokenData->begin(), tokenData->end()));
          if (plain) {
            (*log)->addTransmissionTargetToken(*plain);
          } else {
            TL_LOG_ERROR(kBeaconLogTag, "Failed to decrypt the target token.");
          }
          TLUtilityFile::deleteFileAtURL(tokenFile);
        }
        TL_LOG_DEBUG(kCrashesLogTag, "Re-enqueueing buffered log, type: " << (*log)->type().value_or("(null)") << ".");
        if (enqueue) enqueue(*log);
      }
    }
    TLUtilityFile::createFileAtPathComponent(folderComponent + "/" + file.filename().string(), std::nullopt, false,
                                             true);
  }
}

void TLCrashesLogBuffer::emptyLogBufferFiles(const std::string& folderComponent) {
  auto files = TLUtilityFile::contentsOfDirectory(folderComponent);
  if (!files) {
    TL_LOG_ERROR(kCrashesLogTag, "Couldn't get files in the directory \"" << folderComponent << "\"");
    return;
  }
  for (const auto& file : *files) {
    if (!hasBufferExtension(file)) continue;
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error || size == 0) continue;
    TLUtilityFile::createFileAtPathComponent(folderComponent + "/" + file.filename().string(), std::nullopt, false,
                                             true);
  }
}

TLCrashesLogBuffer::SlotView TLCrashesLogBuffer::slot(int index) const {
  std::lock_guard lock(lock_);
  const Slot& s = slots_.at(index);
  if (!s.contents) return SlotView{{}, {}, s.internalId, s.timestamp};
  return SlotView{s.contents->buffer, s.contents->targetToken, s.internalId, s.timestamp};
}

std::string TLCrashesLogBuffer::bufferPath(int index) const {
  std::lock_guard lock(lock_);
  return slots_.at(index).bufferPath.data();
}

}  // namespace ml::beacon
