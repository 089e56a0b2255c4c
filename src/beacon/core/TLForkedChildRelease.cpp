#include "beacon/core/TLForkedChildRelease.h"

#include <pthread.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <vector>

#include "beacon/core/TLNeverDestroyed.h"

namespace ml::beacon {

// Every live registration. Held across a fork (taken before it, given back on both sides after
// it), so the child sees the list whole and its lock free.
struct TLForkedChildReleases {
  std::mutex lock;
  std::vector<TLForkedChildRelease*> live;
  std::once_flag handlersInstalled;

  static TLForkedChildReleases& shared() {
    static TLNeverDestroyed<TLForkedChildReleases> instance;
    return instance.get();
  }

  static void beforeFork() { shared().lock.lock(); }
  static void inParent() { shared().lock.unlock(); }
  static void inChild() {
    TLForkedChildReleases& releases = shared();
    for (TLForkedChildRelease* release : releases.live) {
      if (release->inChild_) release->inChild_();
    }
    releases.lock.unlock();
  }
};

TLForkedChildRelease::TLForkedChildRelease(std::function<void()> inChild) : inChild_(std::move(inChild)) {
  TLForkedChildReleases& releases = TLForkedChildReleases::shared();
  // Outside the list's lock: a fork holds the system's lock of the handlers while it runs them,
  // and its first one waits for the list's lock.
  std::call_once(releases.handlersInstalled, [] {
    ::pthread_atfork(&TLForkedChildReleases::beforeFork, &TLForkedChildReleases::inParent,
                     &TLForkedChildReleases::inChild);
  });
  std::lock_guard guard(releases.lock);
  releases.live.push_back(this);
}

TLForkedChildRelease::~TLForkedChildRelease() {
  TLForkedChildReleases& releases = TLForkedChildReleases::shared();
  std::lock_guard guard(releases.lock);
  releases.live.erase(std::remove(releases.live.begin(), releases.live.end(), this), releases.live.end());
}

}  // namespace ml::beacon
