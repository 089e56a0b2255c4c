#pragma once
// Localized texts from the strings table "Localizable" in the application's resource folder
// (AppFolders::resources()): "<lang>.lproj/Localizable.strings" for the user's languages
// ($LANGUAGE, $LC_ALL, $LC_MESSAGES, $LANG; "de_DE.UTF-8" tries "de_DE" then "de"), else
// "Localizable.strings" at the top of the folder. The key stands in when there is no entry or no
// table. Thread-safe; the table is read once and read again only when the file chosen changes
// (another folder or language, or a newer file).
//
// The file holds entries of either form, with // and /* */ comments:
//   "Trash Can is already empty." = "Der Papierkorb ist bereits leer.";
//   Close = Schließen
// Quoted texts take the escapes \" \\ \n \t \r \uXXXX; a bare value runs to the end of its line.
// UTF-8 (with or without a byte-order mark) and UTF-16 with a byte-order mark are read.
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace ml::foundation {

class StringsTable {
 public:
  // Lenient: malformed entries are skipped, never fatal.
  static StringsTable parse(std::string_view text);
  // An empty table when the file is missing or unreadable.
  static StringsTable load(const std::filesystem::path& file);

  std::optional<std::string> lookup(std::string_view key) const;
  std::size_t size() const { return entries_.size(); }

 private:
  std::map<std::string, std::string, std::less<>> entries_;
};

// The text for `key` in the table "Localizable", or the key itself.
std::string localizedString(std::string_view key);

}  // namespace ml::foundation
