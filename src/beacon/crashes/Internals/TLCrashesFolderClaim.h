#pragma once
// Which process takes the crash reports of a data folder over. Several processes may share the
// folder (instances that cannot find each other, one home used from two machines); without a
// claim each would store and send the same reports, and the server would get every crash twice.
// The claim is an advisory lock (flock) on a file beside the crashes folder, taken without
// waiting and dropped when released, when the object goes, or when the process dies.
//
// A claim that cannot be taken for another reason than another holder (a folder that cannot be
// written, a file system without locks) counts as taken: the reports are handled rather than
// left, as without any claim (a lock that fails is said once).
//
// A child forked without exec does not keep the claim: the lock belongs to the open file
// description, which the fork shares, so the child gives its descriptor up at the fork (without
// unlocking the parent's claim) and holds nothing; it may claim anew like any other process.
//
// Threads: not thread-safe; the owner serialises the calls.
#include <filesystem>

#include "beacon/core/TLForkedChildRelease.h"

namespace ml::beacon {

class TLCrashesFolderClaim {
 public:
  TLCrashesFolderClaim() = default;
  ~TLCrashesFolderClaim();
  TLCrashesFolderClaim(const TLCrashesFolderClaim&) = delete;
  TLCrashesFolderClaim& operator=(const TLCrashesFolderClaim&) = delete;

  // False only while another process holds the claim on `lockFile`; true when this object holds
  // it (taken now or before) or it cannot be had for any other reason.
  bool tryClaim(const std::filesystem::path& lockFile);
  void release();

 private:
  int fd_ = -1;
  bool saidUnlockable_ = false;
  TLForkedChildRelease forkRelease_{[this] { giveUpInForkedChild(); }};

  void giveUpInForkedChild();
};

}  // namespace ml::beacon
