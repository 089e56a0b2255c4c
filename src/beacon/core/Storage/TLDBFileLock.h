#pragma once
// Locks that several processes using one database file agree on, kept in a file beside it
// ("<database>.lock", 0600). Open-file-description locks on single bytes: each object holds its
// own (two objects in one process exclude each other as two processes do), and every lock goes
// when the object closes the file, also when its process dies.
//
//   byte 0  configuration: creating, migrating or rebuilding the file, one process at a time
//           (a blocking wait, bounded by what those steps take)
//   byte 1  sending: the process that has batches from the file in flight; taken without
//           waiting when loading, given back when no batch is left
//
// A lock file that cannot be opened (a read-only folder) locks nothing: the store then works as
// if it were alone, which is what it can do.
#include <sys/types.h>

#include <filesystem>

namespace ml::beacon {

class TLDBFileLock {
 public:
  explicit TLDBFileLock(const std::filesystem::path& database);
  ~TLDBFileLock();
  TLDBFileLock(const TLDBFileLock&) = delete;
  TLDBFileLock& operator=(const TLDBFileLock&) = delete;

  // Held while it lives.
  class ConfigurationGuard {
   public:
    explicit ConfigurationGuard(TLDBFileLock& lock);
    ~ConfigurationGuard();
    ConfigurationGuard(const ConfigurationGuard&) = delete;
    ConfigurationGuard& operator=(const ConfigurationGuard&) = delete;

   private:
    TLDBFileLock& lock_;
    bool held_ = false;
  };

  // Takes the sending lock unless another holds it; true while this object holds it.
  bool tryHoldSending();
  void releaseSending();
  bool holdsSending() const { return holdsSending_; }
  bool usable() const { return fd_ >= 0; }

 private:
  bool setLock(short type, off_t byte, bool wait);

  int fd_ = -1;
  bool holdsSending_ = false;
};

}  // namespace ml::beacon
