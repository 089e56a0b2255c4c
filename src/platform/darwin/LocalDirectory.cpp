#include "platform/darwin/LocalDirectory.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace ml::darwin {

using foundation::Error;
using foundation::Result;

namespace {

// setpwent/getpwent_r/endpwent share one cursor per process.
std::mutex& enumerationMutex() {
  static std::mutex mutex;
  return mutex;
}

// Runs one enumeration with a buffer that grows on ERANGE. `next` is getpwent_r or getgrent_r.
template <class Record, class Next, class Name>
Result<std::vector<std::string>> enumerate(void (*open)(), void (*close)(), Next next, Name name) {
  std::lock_guard lock(enumerationMutex());
  std::vector<std::string> names;
  std::vector<char> buffer(4096);
  open();
  for (;;) {
    Record record;
    Record* found = nullptr;
    const int status = next(&record, buffer.data(), buffer.size(), &found);
    if (status == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status == ENOENT || (status == 0 && !found)) break;
    if (status != 0) {
      close();
      return Error::posix(status);
    }
    names.emplace_back(name(*found));
  }
  close();
  return names;
}

}  // namespace

Result<std::vector<std::string>> userRecordNames() {
  return enumerate<passwd>(&setpwent, &endpwent, &getpwent_r, [](const passwd& p) { return p.pw_name; });
}

Result<std::vector<std::string>> groupRecordNames() {
  return enumerate<group>(&setgrent, &endgrent, &getgrent_r, [](const group& g) { return g.gr_name; });
}

std::optional<std::string> userName(uid_t uid) {
  std::vector<char> buffer(4096);
  for (;;) {
    passwd record;
    passwd* found = nullptr;
    const int status = getpwuid_r(uid, &record, buffer.data(), buffer.size(), &found);
    if (status == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0 || !found) return std::nullopt;
    return std::string(found->pw_name);
  }
}

std::optional<std::string> groupName(gid_t gid) {
  std::vector<char> buffer(4096);
  for (;;) {
    group record;
    group* found = nullptr;
    const int status = getgrgid_r(gid, &record, buffer.data(), buffer.size(), &found);
    if (status == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0 || !found) return std::nullopt;
    return std::string(found->gr_name);
  }
}

std::optional<std::string> currentUserName() { return userName(::getuid()); }

}  // namespace ml::darwin
