#pragma once
// Which process takes the crash reports of a data folder over. Several processes may share the
// folder (instances that cannot find each other, one home used from two machines); without a
// claim each would store and send the same reports, and the server would get every crash twice.
// The claim is an advisory lock (flock) on a file beside the crashes folder, taken without
// waiting and dropped when released, when the object goes, or when the process dies.
//
// A claim that cannot be taken for another reason than another holder (a folder that cannot be
// written, a file system without locks) counts as taken: the reports are handled rather than
// left, as without any claim.
//
// Threads: not thread-safe; the owner serialises the calls.
#include <filesystem>

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
};

}  // namespace ml::beacon
