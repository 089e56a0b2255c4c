#pragma once
// Where a crash leaves its report, and how it gets there whole. The report is written to a file
// that is not yet a report and given its report name (ReportNames.h) only once it is complete: a
// write that fails leaves no report rather than a damaged one, and never touches another.
//
// The file is made ready when capture is enabled: an unnamed file in the report folder (O_TMPFILE,
// mode 0600), so the crash path neither looks up a path nor creates an inode, and publishing the
// report is one link of that file to its report name. Where the folder's file system has no
// unnamed files (or links cannot reach them), the crash path creates the named partial file
// (O_EXCL, mode 0600) and renames it into place. A process forked from the one that enabled
// capture shares the unnamed file and the names; it makes names of its own at crash time.
//
// Preparation is normal context; everything else is crash time (async-signal-safe: open, dup,
// linkat, rename, unlink, getrandom; the names of a forked process live in static storage owned
// by the capture guard's holder).
#include <climits>
#include <sys/types.h>

namespace ml::crash {

struct tlcrash_report_output {
  char folder[PATH_MAX] = {};               // the report folder; empty until enabling
  char report_path[PATH_MAX] = {};          // this process's report name
  char partial_report_path[PATH_MAX] = {};  // the named file written first when there is no unnamed one
  pid_t owner = 0;                          // the process the names and the unnamed file belong to
  int unnamed_fd = -1;                      // the unnamed file made ready, or -1
  dev_t unnamed_dev = 0;                    // its identity, checked before use: the descriptor may have
  ino_t unnamed_ino = 0;                    // been closed or reused by the program since
  char unnamed_link_source[32] = {};        // "/proc/self/fd/<n>"
};

// Fills `output` for `folder` with the report and partial paths, and makes the unnamed file ready
// when the folder's file system can publish it by a link (tried once on a probe file). Returns 0,
// or ENAMETOOLONG when a path does not fit; without an unnamed file it still returns 0. Normal
// context.
int tlcrash_nasync_report_output_prepare(tlcrash_report_output* output, const char* folder, const char* report_path,
                                         const char* partial_report_path);

// A report being written.
struct tlcrash_report_file {
  int fd = -1;
  bool unnamed = false;               // published by linking the unnamed file
  const char* report_path = nullptr;  // the name it is published under
  const char* partial_path = nullptr; // the named partial file, when not unnamed
};

// Opens the file for the report of `output`'s crash. False (errno set) when no file can be had.
// Crash time.
bool tlcrash_async_report_file_open(const tlcrash_report_output* output, tlcrash_report_file* file);
// Gives the complete, closed file its report name. False (errno set) when it cannot; the file is
// then removed. Crash time.
bool tlcrash_async_report_file_publish(const tlcrash_report_output* output, const tlcrash_report_file* file);
// Removes the file of a write that failed (the named partial file; an unnamed one needs nothing).
// Crash time.
void tlcrash_async_report_file_discard(const tlcrash_report_file* file);

}  // namespace ml::crash
