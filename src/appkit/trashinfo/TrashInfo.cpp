#include "appkit/trashinfo/TrashInfo.h"

namespace ml::appkit {

using foundation::Error;

namespace {

constexpr std::string_view kGroup = "[Trash Info]";

Error infoError(int code, std::string text) { return Error::make(kTrashInfoErrorDomain, code, std::move(text)); }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> decodePath(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (text.size() - i < 3) return std::nullopt;
    int high = hexValue(text[i + 1]);
    int low = hexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

bool isDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "YYYY-MM-DDThh:mm:ss" by shape; the calendar is the reader's business.
bool isDeletionDate(std::string_view text) {
  return text.size() == 19 && isDigits(text.substr(0, 4)) && text[4] == '-' && isDigits(text.substr(5, 2)) &&
         text[7] == '-' && isDigits(text.substr(8, 2)) && text[10] == 'T' && isDigits(text.substr(11, 2)) &&
         text[13] == ':' && isDigits(text.substr(14, 2)) && text[16] == ':' && isDigits(text.substr(17, 2));
}

}  // namespace

std::string encodeTrashPath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : path) {
    auto byte = static_cast<unsigned char>(c);
    bool keep = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
                byte == '-' || byte == '_' || byte == '.' || byte == '~' || byte == '/';
    if (keep) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

std::string TrashInfo::format() const {
  std::string text = std::string(kGroup) + "\nPath=" + encodeTrashPath(path) + "\n";
  if (deletionDate) text += "DeletionDate=" + *deletionDate + "\n";
  return text;
}

foundation::Result<TrashInfo> TrashInfo::parse(std::string_view text) {
  if (text.size() > kMaxTrashInfoBytes) return infoError(1, "the information file is too large");
  bool inGroup = false;
  bool sawGroup = false;
  std::optional<std::string> path;
  std::optional<std::string> date;
  while (!text.empty()) {
    auto end = text.find('\n');
    std::string_view line = trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      // Keys of the record count only in its own group, which a reader finds once.
      inGroup = line == kGroup && !sawGroup;
      sawGroup = sawGroup || inGroup;
      continue;
    }
    if (!inGroup) continue;
    auto equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view key = trimmed(line.substr(0, equals));
    std::string_view value = trimmed(line.substr(equals + 1));
    if (key == "Path") {
      if (path) return infoError(3, "the information file names two original paths");
      path = decodePath(value);
      if (!path) return infoError(4, "the original path is badly percent-encoded");
    } else if (key == "DeletionDate" && !date && isDeletionDate(value)) {
      date = std::string(value);
    }
  }
  if (!sawGroup) return infoError(2, "the information file has no [Trash Info] group");
  if (!path) return infoError(5, "the information file names no original path");
  if (path->empty() || path->find('\0') != std::string::npos) return infoError(6, "the original path is empty or holds a NUL");
  return TrashInfo{std::move(*path), std::move(date)};
}

}  // namespace ml::appkit
