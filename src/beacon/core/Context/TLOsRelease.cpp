#include "beacon/core/Context/TLOsRelease.h"

#include <fstream>

namespace ml::beacon {

namespace {

bool isKeyCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// The value of one assignment; nothing for an unterminated quote.
std::optional<std::string> unquote(std::string_view raw) {
  if (raw.empty()) return std::string();
  char quote = raw.front();
  if (quote != '"' && quote != '\'') return std::string(raw);
  if (raw.size() < 2 || raw.back() != quote) return std::nullopt;
  raw = raw.substr(1, raw.size() - 2);
  if (quote == '\'') return std::string(raw);
  std::string value;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '\\' && i + 1 < raw.size()) {
      char next = raw[i + 1];
      if (next == '"' || next == '\\' || next == '$' || next == '`') {
        value.push_back(next);
        ++i;
        continue;
      }
    }
    value.push_back(c);
  }
  return value;
}

}  // namespace

std::map<std::string, std::string> TLOsRelease::parse(std::string_view text) {
  std::map<std::string, std::string> values;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    std::size_t equals = line.find('=');
    if (equals == 0 || equals == std::string_view::npos) continue;
    std::string_view key = line.substr(0, equals);
    bool validKey = true;
    for (char c : key) validKey = validKey && isKeyCharacter(c);
    if (!validKey) continue;
    if (auto value = unquote(line.substr(equals + 1))) values.insert_or_assign(std::string(key), std::move(*value));
  }
  return values;
}

std::optional<std::map<std::string, std::string>> TLOsRelease::load(const std::filesystem::path& etcFile,
                                                                    const std::filesystem::path& libFile) {
  for (const auto& file : {etcFile, libFile}) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) continue;  // a FIFO or folder would block or fail
    std::ifstream in(file, std::ios::binary);
    if (!in) continue;
    std::string text(kMaxBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return parse(text);
  }
  return std::nullopt;
}

}  // namespace ml::beacon
