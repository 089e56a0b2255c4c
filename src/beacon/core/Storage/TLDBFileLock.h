#pragma once
// Locks that several processes using one database file agree on, kept in a file beside it
// ("<database>.lock", 0600). Open-file-description locks on single bytes: each object holds its
// own (two objects in one process exclude each other as two processes do), and every lock goes
// when the object closes the file, also when its process dies.
//
//   byte 0  the file itself: held shared by every query, exclusively while the file is created,
//           migrated or rebuilt, so that a rebuild never reads the file while another process
//           writes to it, and two creations never race. Waits are bounded (a process stuck
//           while holding it is not waited for forever; the work then goes on unguarded).
//   byte 1  sending: the process that has batches from the file in flight; taken without
//           waiting when loading, given back when no batch is left
//
// A lock file that cannot be opened (a read-only folder), or a file system that does not support
// these locks, locks nothing: the store then works as if it were alone, which is what it can do
// (said once). Only a lock another holder has (EAGAIN, EACCES) stops this object from sending.
//
// A child forked without exec holds none of it: it gives the parent's description up at the fork
// and opens the lock file anew, holding nothing until it takes a lock of its own.
#include <sys/types.h>

#include <filesystem>
#include <string>

#include "beacon/core/TLForkedChildRelease.h"

namespace ml::beacon {

class TLDBFileLock {
 public:
  explicit TLDBFileLock(const std::filesystem::path& database);
  ~TLDBFileLock();
  TLDBFileLock(const TLDBFileLock&) = delete;
  TLDBFileLock& operator=(const TLDBFileLock&) = delete;

  enum class Use { query, configuration };
  // Holds byte 0 while it lives: shared for a query, exclusive for a configuration. Guards of
  // one lock nest (an inner guard changes nothing).
  class Guard {
   public:
    Guard(TLDBFileLock* lock, Use use);
    ~Guard();
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

   private:
    TLDBFileLock* lock_;
    bool held_ = false;
  };

  // Takes the sending lock unless another holds it; true while this object holds it, or while
  // nothing can be locked.
  bool tryHoldSending();
  void releaseSending();
  bool holdsSending() const { return holdsSending_; }
  bool usable() const { return fd_ >= 0; }

 private:
  enum class Outcome { taken, heldElsewhere, unsupported };
  Outcome setLock(short type, off_t byte, bool wait);
  void openLockFile();
  void reopenInForkedChild();

  std::string path_;
  int fd_ = -1;
  int guardDepth_ = 0;
  bool holdsSending_ = false;
  bool saidUnsupported_ = false;
  TLForkedChildRelease forkRelease_{[this] { reopenInForkedChild(); }};
};

}  // namespace ml::beacon
