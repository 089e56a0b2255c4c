#pragma once
// Keeping the way to the crash reports clear. Something that stands where a report folder or the
// pending report file should be (a file where a folder goes, a folder where the report file
// goes) would otherwise stop crash reporting for good: the folders cannot be made, or every
// report fails to open. Such an obstacle is moved aside, kept under a new name next to it
// ("<name>.moved-aside", then "<name>.moved-aside-2", ...), with one warning line each, and
// reporting goes on. Normal context only (enabling time).
#include <string>

namespace ml::crash {

// mkdir -p `path` with mode 0755. Anything but a folder standing at `path` or at one of its
// folders below `root` is moved aside first; above `root` nothing is touched. 0, or the errno of
// the first failure.
int tlcrash_nasync_make_report_folders(const std::string& root, const std::string& path);

// Moves aside whatever stands at `path` unless it is a regular file (or nothing). 0, or the
// errno of the failed move.
int tlcrash_nasync_clear_report_file_path(const std::string& path);

}  // namespace ml::crash
