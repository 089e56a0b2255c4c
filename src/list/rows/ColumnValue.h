#pragma once
// The raw value a list row gives for one column of the outline; how it is displayed (date and
// number formats) belongs to the window. Empty (monostate) when the row has no value there.
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "files/Date.h"
#include "files/FileIcon.h"

namespace ml::list {

using ColumnValue = std::variant<std::monostate, files::FileIcon, std::string, files::Date, int64_t>;

// The outline's column identifiers, as the window's interface names its columns.
namespace column {
inline constexpr std::string_view icon = "icon";
inline constexpr std::string_view name = "name";
inline constexpr std::string_view created = "created_timestamp";
inline constexpr std::string_view modified = "modified_timestamp";
inline constexpr std::string_view size = "size";
inline constexpr std::string_view location = "item_location";
}  // namespace column

// What the size column shows for a row whose size is unknown (a folder, or an unreadable item).
inline constexpr std::string_view kNoSizeText = "\u2014";

// What the location column shows for a row whose item did not exist when the row was built.
inline constexpr std::string_view kGoneText = "Item no longer exists";

}  // namespace ml::list
