#pragma once
// What a child forked without exec gives up at once. A lock held through an open file description
// (an OFD lock, a flock) belongs to the description, which fork shares with the child: while such
// a child lives, the lock stays held even after its parent released or closed it, so the next
// launch would find it taken. Unlocking in the child is no way out, since that would drop the
// parent's lock too; instead each holder registers here, and in the child, right after the fork,
// closes its descriptor (dropping the child's reference, not the lock) and starts over as a holder
// of nothing. O_CLOEXEC covers only a child that execs.
//
// The release runs in the child before fork returns, where only the forking thread exists: it
// may close and open files, and must not take locks that another thread of the parent may have
// held at the fork.
//
// Threads: registering and leaving may happen on any thread, also while another thread forks.
#include <functional>

namespace ml::beacon {

class TLForkedChildRelease {
 public:
  // `inChild` runs in every child forked while this object lives.
  explicit TLForkedChildRelease(std::function<void()> inChild);
  ~TLForkedChildRelease();
  TLForkedChildRelease(const TLForkedChildRelease&) = delete;
  TLForkedChildRelease& operator=(const TLForkedChildRelease&) = delete;

 private:
  friend struct TLForkedChildReleases;
  std::function<void()> inChild_;
};

}  // namespace ml::beacon
