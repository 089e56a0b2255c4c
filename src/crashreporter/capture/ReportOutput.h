#pragma once
// Where a crash leaves its report, and how it gets there whole. The report is written to a file
// that is not yet a report and given its report name (ReportNames.h) only once it is complete and
// on the disk (fsync): a write that fails leaves no report rather than a damaged one, never
// touches another, and a power loss right after the crash leaves either no report or a whole one.
// The folder is synced after the name went in, so the name survives too.
//
// The file is made ready when capture is enabled: an unnamed file in the report folder (O_TMPFILE,
// mode 0600), so the crash path neither looks up a path nor creates an inode, and publishing the
// report is one link of that file to its report name. Where the folder's file system has no
// unnamed files (or links cannot reach them), the crash path creates the named partial file
// (O_EXCL, mode 0600) and renames it into place.
//
// The unnamed file's room is reserved at enabling (fallocate beyond its end, so its size stays 0):
// a volume that fills up later still takes a report of that size, written over the reserved
// blocks. At the crash the report is limited to the room it has (the reservation plus the
// volume's free space), and the writer trims it to that (LogWriter.h); a write that still runs out
// of room (a quota, a volume that filled meanwhile) is written again over what landed, within
// that. The published file is cut to the report's length, which gives the unused reservation
// back. An unnamed file holds its reservation only while the process lives: a clean exit leaves
// nothing behind.
//
// A process forked from the one that enabled capture inherits the unnamed file's descriptor and
// the names, and must use neither: the descriptor shares its file offset with the parent's, and
// the names are the parent's. Its crash makes names of its own (its pid and new random bits) and
// an unnamed file of its own in the folder (or the partial file), whatever happened to the
// parent's.
//
// Preparation is normal context; everything else is crash time (async-signal-safe: open, dup,
// fstat, fstatfs, lseek, ftruncate, fsync, linkat, rename, unlink, getrandom; the names of a
// forked process live in static storage owned by the capture guard's holder).
#include <climits>
#include <cstdint>
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
  bool unnamed_works = false;               // the folder's file system makes and links unnamed files
  uint64_t unnamed_reserved = 0;            // bytes reserved for the unnamed file (0: none could be)
};

// Fills `output` for `folder` with the report and partial paths, and makes the unnamed file ready
// when the folder's file system can publish it by a link (tried once on a probe file), with
// `reserve_bytes` reserved for it (less, halved down to a few pages, when the volume has less
// free; none where the file system cannot reserve). Returns 0, or ENAMETOOLONG when a path does
// not fit; without an unnamed file or a reservation it still returns 0. Normal context.
int tlcrash_nasync_report_output_prepare(tlcrash_report_output* output, const char* folder, const char* report_path,
                                         const char* partial_report_path, uint64_t reserve_bytes);

// A report being written.
struct tlcrash_report_file {
  int fd = -1;
  bool unnamed = false;               // published by linking the unnamed file
  const char* report_path = nullptr;  // the name it is published under
  const char* partial_path = nullptr; // the named partial file, when not unnamed
  char link_source[32] = {};          // "/proc/self/fd/<fd>", when unnamed
  uint64_t reserved = 0;              // bytes reserved for it ahead of the crash
};

// Opens the file for the report of `output`'s crash. False (errno set) when no file can be had.
// Crash time.
bool tlcrash_async_report_file_open(const tlcrash_report_output* output, tlcrash_report_file* file);
// The most a report written to `file` may hold: `limit`, or less when its reservation and the free
// space of its volume together are less. Crash time.
uint64_t tlcrash_async_report_file_room(const tlcrash_report_file* file, uint64_t limit);
// Whether a write that failed with `error` (an errno) failed for want of room. Crash time.
bool tlcrash_async_report_file_out_of_room(int error);
// After a write that ran out of room: sets `landed` to the bytes the file holds and moves back to
// its start, so the report can be written again over them, within them. False (errno set) when
// the file cannot be looked at or rewound. Crash time.
bool tlcrash_async_report_file_rewind(const tlcrash_report_file* file, uint64_t* landed);
// Cuts the complete file to the report's `length` (what is beyond, the unused reservation or the
// rest of an earlier attempt, goes back to the volume), puts it on the disk and gives it its
// report name; the file must still be open (an unnamed file is linked through its descriptor).
// False (errno set) when the file cannot be cut, synced or named; the caller then discards it. A
// folder that cannot be synced afterwards only costs a diagnostic line: the report is whole and
// named. Crash time.
bool tlcrash_async_report_file_publish(const tlcrash_report_output* output, const tlcrash_report_file* file,
                                       uint64_t length);
// Removes the file of a write that failed (the named partial file; an unnamed one needs nothing).
// Crash time.
void tlcrash_async_report_file_discard(const tlcrash_report_file* file);

}  // namespace ml::crash
