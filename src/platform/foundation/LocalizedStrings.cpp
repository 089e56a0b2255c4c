#include "platform/foundation/LocalizedStrings.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/foundation/AppFolders.h"

namespace ml::foundation {

namespace {

constexpr const char* kTableFile = "Localizable.strings";

void appendUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-16 with a byte-order mark becomes UTF-8; lone surrogates become U+FFFD.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::string out;
  auto unit = [&](std::size_t i) -> char16_t {
    auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    return static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
  };
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    char32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
      char16_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    appendUtf8(out, c);
  }
  return out;
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  void readAll(std::map<std::string, std::string, std::less<>>& entries) {
    for (;;) {
      skipSpaceAndComments();
      if (atEnd()) return;
      std::size_t before = pos_;
      std::string key, value;
      if (readEntry(key, value)) entries.insert_or_assign(std::move(key), std::move(value));
      if (pos_ == before) ++pos_;  // always make progress over garbage
    }
  }

 private:
  bool atEnd() const { return pos_ >= text_.size(); }
  char peek() const { return text_[pos_]; }

  void skipSpaceAndComments() {
    while (!atEnd()) {
      char c = peek();
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ';') {
        ++pos_;
      } else if (text_.substr(pos_, 2) == "//") {
        auto end = text_.find('\n', pos_);
        pos_ = end == std::string_view::npos ? text_.size() : end + 1;
      } else if (text_.substr(pos_, 2) == "/*") {
        auto end = text_.find("*/", pos_ + 2);
        pos_ = end == std::string_view::npos ? text_.size() : end + 2;
      } else {
        return;
      }
    }
  }

  void skipInlineSpace() {
    while (!atEnd() && (peek() == ' ' || peek() == '\t')) ++pos_;
  }

  // Skips to the end of the current line: how a malformed entry is abandoned.
  void skipLine() {
    auto end = text_.find('\n', pos_);
    pos_ = end == std::string_view::npos ? text_.size() : end + 1;
  }

  static std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
  }

  bool readQuoted(std::string& out) {
    ++pos_;  // opening quote
    while (!atEnd()) {
      char c = text_[pos_++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (atEnd()) return false;
      char e = text_[pos_++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'u':
        case 'U': {
          char32_t c32 = 0;
          if (!readHex4(c32)) return false;
          if (c32 >= 0xD800 && c32 <= 0xDBFF && text_.substr(pos_, 2) == "\\u") {
            std::size_t save = pos_;
            pos_ += 2;
            char32_t low = 0;
            if (readHex4(low) && low >= 0xDC00 && low <= 0xDFFF)
              c32 = 0x10000 + ((c32 - 0xD800) << 10) + (low - 0xDC00);
            else
              pos_ = save;
          }
          appendUtf8(out, c32);
          break;
        }
        default: out += e; break;  // \" \\ \' and anything else stand for themselves
      }
    }
    return false;  // unterminated
  }

  bool readHex4(char32_t& out) {
    if (pos_ + 4 > text_.size()) return false;
    out = 0;
    for (int i = 0; i < 4; ++i) {
      char c = text_[pos_++];
      int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
      if (v < 0) return false;
      out = out << 4 | static_cast<char32_t>(v);
    }
    return true;
  }

  bool readEntry(std::string& key, std::string& value) {
    if (peek() == '"') {
      if (!readQuoted(key)) return false;
      skipSpaceAndComments();
      if (atEnd() || peek() != '=') {
        value = key;  // "key"; alone stands for itself
        return true;
      }
    } else {
      // A bare key runs to '=' on the same line.
      auto lineEnd = text_.find('\n', pos_);
      if (lineEnd == std::string_view::npos) lineEnd = text_.size();
      auto equals = text_.find('=', pos_);
      if (equals == std::string_view::npos || equals > lineEnd) {
        skipLine();
        return false;
      }
      key = std::string(trim(text_.substr(pos_, equals - pos_)));
      pos_ = equals;
      if (key.empty()) {
        skipLine();
        return false;
      }
    }
    ++pos_;  // '='
    skipInlineSpace();
    if (!atEnd() && peek() == '"') return readQuoted(value);
    // A bare value runs to the end of its line, less a trailing ';'.
    auto lineEnd = text_.find('\n', pos_);
    if (lineEnd == std::string_view::npos) lineEnd = text_.size();
    auto bare = trim(text_.substr(pos_, lineEnd - pos_));
    if (!bare.empty() && bare.back() == ';') bare = trim(bare.substr(0, bare.size() - 1));
    value = std::string(bare);
    pos_ = lineEnd;
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

std::vector<std::string> preferredLanguages() {
  std::vector<std::string> languages;
  auto add = [&](std::string value) {
    auto cut = value.find_first_of(".@");
    if (cut != std::string::npos) value.resize(cut);
    if (value.empty() || value == "C" || value == "POSIX") return;
    languages.push_back(value);
    auto underscore = value.find('_');
    if (underscore != std::string::npos) languages.push_back(value.substr(0, underscore));
  };
  if (const char* list = std::getenv("LANGUAGE")) {
    std::string_view rest = list;
    while (!rest.empty()) {
      auto colon = rest.find(':');
      add(std::string(rest.substr(0, colon)));
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) {
      add(value);
      break;
    }
  }
  return languages;
}

std::filesystem::path tableFile(const std::filesystem::path& resources, const std::vector<std::string>& languages) {
  std::error_code ec;
  for (const auto& language : languages) {
    auto candidate = resources / (language + ".lproj") / kTableFile;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  }
  return resources / kTableFile;
}

}  // namespace

StringsTable StringsTable::parse(std::string_view text) {
  std::string converted;
  if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF && static_cast<unsigned char>(text[1]) == 0xFE) {
    converted = utf16ToUtf8(text, false);
    text = converted;
  } else if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFE &&
             static_cast<unsigned char>(text[1]) == 0xFF) {
    converted = utf16ToUtf8(text, true);
    text = converted;
  } else if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
  }
  StringsTable table;
  Reader(text).readAll(table.entries_);
  return table;
}

StringsTable StringsTable::load(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::ostringstream contents;
  contents << in.rdbuf();
  return parse(contents.str());
}

std::optional<std::string> StringsTable::lookup(std::string_view key) const {
  auto it = entries_.find(key);
  if (it == entries_.end()) return std::nullopt;
  return it->second;
}

std::string localizedString(std::string_view key) {
  struct Cache {
    std::mutex mutex;
    std::filesystem::path file;
    std::filesystem::file_time_type modified;
    std::optional<StringsTable> table;
  };
  static Cache cache;
  auto file = tableFile(AppFolders::resources(), preferredLanguages());
  std::error_code ec;
  auto modified = std::filesystem::last_write_time(file, ec);
  if (ec) modified = std::filesystem::file_time_type::min();
  std::lock_guard lock(cache.mutex);
  if (!cache.table || cache.file != file || cache.modified != modified) {
    cache.table = StringsTable::load(file);
    cache.file = file;
    cache.modified = modified;
  }
  if (auto text = cache.table->lookup(key)) return *text;
  return std::string(key);
}

}  // namespace ml::foundation
