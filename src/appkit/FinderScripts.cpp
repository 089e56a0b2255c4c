#include "appkit/FinderScripts.h"

namespace ml::appkit::finder_scripts {

namespace {
constexpr std::string_view kInformationWindowPrefix =
    "tell application \"Finder\" to open information window of ";
constexpr std::string_view kPosixFile = " (POSIX file ";
}  // namespace

std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

std::optional<std::string> readQuoted(std::string_view& input) {
  if (input.empty() || input.front() != '"') return std::nullopt;
  std::string text;
  for (std::size_t i = 1; i < input.size(); ++i) {
    char c = input[i];
    if (c == '"') {
      input.remove_prefix(i + 1);
      return text;
    }
    if (c == '\\') {
      if (i + 1 >= input.size()) return std::nullopt;
      char escaped = input[++i];
      if (escaped != '"' && escaped != '\\') return std::nullopt;
      text += escaped;
      continue;
    }
    text += c;
  }
  return std::nullopt;  // no closing quote
}

std::string countTrashItems() { return "tell application \"Finder\" to count of items in the trash"; }

std::string emptyTrash() {
  return "on run\n"
         "  set currentApp to short name of (info for (path to frontmost application))\n"
         "\n"
         "  tell application \"Finder\"\n"
         "    activate\n"
         "    try\n"
         "      display alert \"Are you sure you want to remove the items in the Trash permanently?\" "
         "as critical message \xC2\xAC\n"
         "        \"You cannot undo this action.\" buttons {\"Abort\", \"Empty Trash\"} cancel button "
         "\"Abort\" default button \"Empty Trash\"\n"
         "      empty the trash\n"
         "    end try\n"
         "  end tell\n"
         "\n"
         "  tell application currentApp to activate\n"
         "end run";
}

std::string quitFinder() { return "tell application \"Finder\" to quit"; }

std::string launchFinder() { return "tell application \"Finder\" to launch"; }

std::string openInformationWindow(std::string_view path, bool isFolder) {
  std::string script(kInformationWindowPrefix);
  script += isFolder ? "folder" : "file";
  script += kPosixFile;
  script += finder_scripts::quoted(path);
  script += ')';
  return script;
}

std::optional<InformationWindowRequest> parseInformationWindow(std::string_view script) {
  if (!script.starts_with(kInformationWindowPrefix)) return std::nullopt;
  script.remove_prefix(kInformationWindowPrefix.size());
  InformationWindowRequest request;
  if (script.starts_with("folder")) {
    request.isFolder = true;
    script.remove_prefix(6);
  } else if (script.starts_with("file")) {
    script.remove_prefix(4);
  } else {
    return std::nullopt;
  }
  if (!script.starts_with(kPosixFile)) return std::nullopt;
  script.remove_prefix(kPosixFile.size());
  auto path = readQuoted(script);
  if (!path || script != ")") return std::nullopt;
  request.path = std::move(*path);
  return request;
}

}  // namespace ml::appkit::finder_scripts
