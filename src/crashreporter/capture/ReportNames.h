#pragma once
// The names of the crash reports in the reporter's folder. Several processes may share one folder
// (two instances on one machine, or two machines over one network home), so each process writes
// its report under a name of its own, fixed when capture is enabled:
//
//   live_report.<id>.tlcrash     a complete report of one dead process (<id>: the process id and
//                                64 random bits, in hex: unique across processes and machines)
//   live_report.tlcrash          the one fixed name of earlier versions; still read as a report
//   .live_report.<id>.partial    a report being written; renamed to its report name once complete,
//                                and never taken for a report (it does not start "live_report.")
//
// Every report file is created with mode 0600: it holds register values and stack words.
// Normal context only (allocates).
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "crashreporter/capture/ReportMode.h"

namespace ml::crash {

// The pending report of earlier versions: one fixed name, shared by every process.
inline constexpr char kPendingReportName[] = "live_report.tlcrash";

// A new id for one process's report: "<pid>-<random>", both in hex. The random bits come from the
// kernel's generator (the clock and the pid stand in when it cannot be read).
std::string tlcrash_nasync_new_report_id();
// "live_report.<id>.tlcrash" / ".live_report.<id>.partial".
std::string tlcrash_nasync_report_file_name(const std::string& id);
std::string tlcrash_nasync_partial_report_file_name(const std::string& id);

// Whether `name` (a file name, no folder) names a complete report: "live_report.tlcrash", or
// "live_report.<id>.tlcrash" with a non-empty id.
bool tlcrash_nasync_is_report_file_name(std::string_view name);
// Whether `name` names a report being written (".live_report.<id>.partial").
bool tlcrash_nasync_is_partial_report_file_name(std::string_view name);

// The complete reports in `folder`: regular files (symbolic links and anything else are left
// out) with a report name, oldest first (modification time, then name). Empty when the folder
// cannot be read.
std::vector<std::string> tlcrash_nasync_list_reports(const std::string& folder);

// Removes the partial reports in `folder` last changed more than `age` ago: a process killed
// while it wrote its report leaves one, and nobody else ever finishes it. Returns how many went.
int tlcrash_nasync_remove_stale_partial_reports(const std::string& folder, std::chrono::seconds age);

}  // namespace ml::crash
