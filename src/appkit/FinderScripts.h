#pragma once
// The texts of the scripts the application sends to the file manager, built in one place so the
// commands that send them and the runner that carries them out agree byte for byte.
#include <optional>
#include <string>
#include <string_view>

namespace ml::appkit::finder_scripts {

// `text` as a script string literal: in double quotes, with every backslash and double quote
// escaped by a backslash, so no file name can end the literal or change the script around it.
std::string quoted(std::string_view text);

// Reads a string literal written by quoted() from the start of `input`, advancing past it.
// Nothing when `input` does not start with a well-formed literal (only \\ and \" escapes).
std::optional<std::string> readQuoted(std::string_view& input);

// "tell application "Finder" to count of items in the trash"
std::string countTrashItems();
// The fourteen-line script that asks for confirmation and empties the Trash.
std::string emptyTrash();
// "tell application "Finder" to quit"
std::string quitFinder();
// "tell application "Finder" to launch"
std::string launchFinder();
// Opens the file manager's information window of the item at `path`.
std::string openInformationWindow(std::string_view path, bool isFolder);

// The parts of an information-window script, when `script` is one.
struct InformationWindowRequest {
  std::string path;
  bool isFolder = false;
};
std::optional<InformationWindowRequest> parseInformationWindow(std::string_view script);

}  // namespace ml::appkit::finder_scripts
