#pragma once
// Names of the machine's user and group accounts for the permissions pane's choices, without
// those beginning with "_" (system accounts by convention), in the databases' order. Computed
// anew on each call; nullopt when the databases cannot be read (logged). Any thread; blocking.
#include <optional>
#include <string>
#include <vector>

namespace ml::files {

std::optional<std::vector<std::string>> allUsers();
std::optional<std::vector<std::string>> allGroups();

// Keeps the names that do not begin with "_", logging every name at verbose level with the
// given message prefix ("filtering username. name=[").
std::vector<std::string> withoutUnderscoreNames(const std::vector<std::string>& names, const char* logPrefix);

}  // namespace ml::files
