#pragma once
// Permission checks in tests. Root passes every permission check, so a test run as root cannot
// see a fault that only an ordinary user meets. These helpers let such a test act as an ordinary
// user for a stretch, and let tests that need root say so. Header-only.
//
// The switch changes the effective ids of the whole process (glibc applies them to every thread),
// and only the effective ones: the real and saved ids stay root, which is what lets the scope
// switch back. Use it on the test's own thread, with no other test running in the process.
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace ml::test {

// Whether the process passes file permission checks (effective uid 0).
inline bool isPrivileged() { return ::geteuid() == 0; }

// The message of a test skipped because it needs root.
inline const char* needsRoot() { return "needs root (run as an unprivileged user)"; }

// The account a privileged test switches to: the one named by $ML_TEST_USER (the unprivileged run
// of scripts/test.sh sets it), else "nobody".
struct UnprivilegedAccount {
  uid_t uid = 65534;
  gid_t gid = 65534;

  static UnprivilegedAccount find() {
    const char* named = std::getenv("ML_TEST_USER");
    const std::string name = named && *named ? named : "nobody";
    UnprivilegedAccount account;
    if (const passwd* entry = ::getpwnam(name.c_str())) {
      account.uid = entry->pw_uid;
      account.gid = entry->pw_gid;
    }
    return account;
  }
};

// While it lives, a privileged process acts as the unprivileged account: files it opens, reads
// or changes are checked against that account's permissions. In a process that is not
// privileged it changes nothing, since the process already is an ordinary user. ok() is false
// when the switch failed; the process is then left as it was.
class AsUnprivilegedUser {
 public:
  AsUnprivilegedUser() {
    if (!isPrivileged()) return;
    const UnprivilegedAccount account = UnprivilegedAccount::find();
    const int count = ::getgroups(0, nullptr);
    groups_.resize(count > 0 ? static_cast<size_t>(count) : 0);
    if (count > 0 && ::getgroups(count, groups_.data()) != count) groups_.clear();
    gid_ = ::getegid();
    // Supplementary groups first and the user id last: dropping the user id first would take
    // away the right to change the others.
    switched_ = ::setgroups(0, nullptr) == 0 && ::setegid(account.gid) == 0 && ::seteuid(account.uid) == 0;
    if (!switched_) restore();
    ok_ = switched_;
  }
  ~AsUnprivilegedUser() {
    if (switched_) restore();
  }
  AsUnprivilegedUser(const AsUnprivilegedUser&) = delete;
  AsUnprivilegedUser& operator=(const AsUnprivilegedUser&) = delete;

  bool ok() const { return ok_; }

 private:
  void restore() {
    // In the reverse order: root again first, then its groups.
    if (::seteuid(0) != 0) std::abort();  // a test process left unprivileged would mislead every later test
    if (::setegid(gid_) != 0 || ::setgroups(groups_.size(), groups_.data()) != 0) std::abort();
  }

  std::vector<gid_t> groups_;
  gid_t gid_ = 0;
  bool switched_ = false;
  bool ok_ = true;
};

}  // namespace ml::test
