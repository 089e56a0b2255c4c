#pragma once
// The machine's user and group accounts, from the system's databases (getpwent / getgrent, so
// whatever the name-service switch is configured with). The stand-in for the local node of the
// original platform's directory service. Any thread: the databases' enumeration state is shared
// by the whole process, so enumerations are serialised here.
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Result.h"

namespace ml::darwin {

// Record names in the databases' order; an error when an enumeration fails before its end.
foundation::Result<std::vector<std::string>> userRecordNames();
foundation::Result<std::vector<std::string>> groupRecordNames();

// The account name of one id; nullopt when the databases have none.
std::optional<std::string> userName(uid_t uid);
std::optional<std::string> groupName(gid_t gid);
// The account name of the user the process runs as.
std::optional<std::string> currentUserName();

}  // namespace ml::darwin
