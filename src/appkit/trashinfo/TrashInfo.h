#pragma once
// The information file of a trashed item, "info/<name>.trashinfo":
//
//   [Trash Info]
//   Path=/home/me/report%20one.txt
//   DeletionDate=2026-12-07T13:12:28
//
// Path is the item's original path, percent-encoded (absolute for the home trash, relative to the
// volume's top directory otherwise); DeletionDate is local time without a zone. Any program may
// write such files, so the reader takes what other writers produce (spaces around "=", CRLF line
// ends, comments, other groups, bytes left unencoded) and refuses what has no original path.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Result.h"

namespace ml::appkit {

inline constexpr const char* kTrashInfoErrorDomain = "org.marrowlane.TrashInfo";
// Larger information files are refused unread: a path is at most a few kilobytes even encoded.
inline constexpr std::size_t kMaxTrashInfoBytes = 64 * 1024;

struct TrashInfo {
  std::string path;                         // the original path's bytes, never empty, no NUL
  std::optional<std::string> deletionDate;  // "YYYY-MM-DDThh:mm:ss"; absent when missing or malformed

  friend bool operator==(const TrashInfo&, const TrashInfo&) = default;

  // The file's text, "\n" line ends, the path percent-encoded with encodeTrashPath.
  std::string format() const;

  // Fails (domain kTrashInfoErrorDomain) on text larger than kMaxTrashInfoBytes, without a
  // "[Trash Info]" group, without a Path in it or with two, and on a Path that is empty, badly
  // percent-encoded or holds a NUL byte. A missing or malformed DeletionDate is left absent.
  static foundation::Result<TrashInfo> parse(std::string_view text);
};

// Percent-encoding of every byte except unreserved URL characters and "/".
std::string encodeTrashPath(std::string_view path);

}  // namespace ml::appkit
