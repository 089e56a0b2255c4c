#include "beacon/core/TLKeyedUnarchiver.h"

#include "beacon/core/TLArchiveClasses.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "platform/foundation/PropertyList.h"

namespace ml::beacon {

using foundation::Error;
using foundation::PlistValue;

struct TLKeyedUnarchiver::Failure {
  std::optional<Error> error;
};

namespace {

// The "$class" of a tagged dictionary, or null for any other value.
const std::string* taggedClass(const PlistValue& value) {
  if (const PlistValue* name = value.find("$class")) return name->string();
  return nullptr;
}

bool isTagged(const PlistValue& value, std::string_view className) {
  const std::string* name = taggedClass(value);
  return name && *name == className;
}

Error archiveError(int code, std::string message) {
  return Error::make(TLKeyedUnarchiver::kErrorDomain, code, std::move(message));
}

}  // namespace

TLKeyedUnarchiver::TLKeyedUnarchiver(const PlistValue::Dictionary& fields, std::shared_ptr<Failure> failure)
    : fields_(fields), failure_(std::move(failure)) {}

void TLKeyedUnarchiver::fail(int code, std::string message) const {
  if (!failure_->error) failure_->error = archiveError(code, std::move(message));
}

Error TLKeyedUnarchiver::wrongClassError(std::string_view className) {
  return archiveError(kCorruptArchiveError, "archived object is a " + std::string(className));
}

foundation::Result<std::shared_ptr<TLSerializableObject>> TLKeyedUnarchiver::unarchivedObject(
    std::span<const std::uint8_t> bytes) {
  auto parsed = foundation::PropertyList::parse(bytes);
  if (!parsed) return archiveError(kCorruptArchiveError, "not a property list: " + parsed.error().message);
  const PlistValue& root = *parsed;
  const PlistValue* archiver = root.find("$archiver");
  const PlistValue* version = root.find("$version");
  const PlistValue* top = root.find("$top");
  if (!archiver || !archiver->string() || *archiver->string() != TLKeyedArchiver::kArchiverName || !version ||
      version->integer() != TLKeyedArchiver::kVersion || !top) {
    return archiveError(kCorruptArchiveError, "not a telemetry keyed archive");
  }
  auto failure = std::make_shared<Failure>();
  auto object = decodeObjectValue(*top, failure);
  if (failure->error) return *failure->error;
  if (!object) return archiveError(kCorruptArchiveError, "archive holds no object");
  return object;
}

std::shared_ptr<TLSerializableObject> TLKeyedUnarchiver::decodeObjectValue(const PlistValue& value,
                                                                          const std::shared_ptr<Failure>& failure) {
  auto record = [&](int code, std::string message) {
    if (!failure->error) failure->error = archiveError(code, std::move(message));
    return nullptr;
  };
  const PlistValue::Dictionary* fields = value.dictionary();
  const std::string* className = taggedClass(value);
  if (!fields || !className) return record(kCorruptArchiveError, "object without a class");
  if (!className->empty() && className->front() == '$') return record(kCorruptArchiveError, "a value where an object belongs");
  auto object = TLArchiveClasses::make(*className);
  if (!object) return record(kUnknownClassError, "class not allowed in archive: " + *className);
  TLKeyedUnarchiver nested(*fields, failure);
  object->initWithCoder(nested);
  if (failure->error) return nullptr;
  return object;
}

const PlistValue* TLKeyedUnarchiver::field(std::string_view key) const {
  auto it = fields_.find(key);
  return it == fields_.end() ? nullptr : &it->second;
}

bool TLKeyedUnarchiver::containsValue(std::string_view key) const { return field(key) != nullptr; }

std::optional<std::string> TLKeyedUnarchiver::stringValue(const PlistValue& value, std::string_view key) const {
  if (const std::string* text = value.string()) return *text;
  if (isTagged(value, TLKeyedArchiver::kStringClass)) {
    if (const PlistValue* bytes = value.find("bytes"); bytes && bytes->data()) {
      return std::string(bytes->data()->begin(), bytes->data()->end());
    }
  }
  fail(kCorruptArchiveError, "value of \"" + std::string(key) + "\" is not a string");
  return std::nullopt;
}

std::optional<std::string> TLKeyedUnarchiver::decodeString(std::string_view key) const {
  const PlistValue* value = field(key);
  if (!value) return std::nullopt;
  return stringValue(*value, key);
}

std::optional<std::int64_t> TLKeyedUnarchiver::decodeInt64(std::string_view key) const {
  const PlistValue* value = field(key);
  if (!value) return std::nullopt;
  if (auto integer = value->integer()) return integer;
  fail(kCorruptArchiveError, "value of \"" + std::string(key) + "\" is not an integer");
  return std::nullopt;
}

std::optional<double> TLKeyedUnarchiver::decodeDouble(std::string_view key) const {
  const PlistValue* value = field(key);
  if (!value) return std::nullopt;
  if (auto real = value->real()) return real;
  if (auto integer = value->integer()) return static_cast<double>(*integer);
  fail(kCorruptArchiveError, "value of \"" + std::string(key) + "\" is not a number");
  return std::nullopt;
}

std::optional<bool> TLKeyedUnarchiver::decodeBool(std::string_view key) const {
  const PlistValue* value = field(key);
  if (!value) return std::nullopt;
  if (auto boolean = value->boolean()) return boolean;
  fail(kCorruptArchiveError, "value of \"" + std::string(key) + "\" is not a boolean");
  return std::nullopt;
}

std::optional<TLKeyedUnarchiver::Date> TLKeyedUnarchiver::decodeDate(std::string_view key) const {
  const PlistValue* value = field(key);
  if (!value) return std::nullopt;
  if (auto date = value->date()) return date;
  if (isTagged(*value, TLKeyedArchiver::kDateClass)) {
    if (const PlistValue* ns = value->find("ns"); ns && ns->integer()) {
      return Date(std::chrono::duration_cast<Date::duration>(std::chrono::nanoseconds(*ns->integer())));
    }
  }
  fail(kCorruptArchiveError, "value of \"" + std::string(key) + "\" is not a date");
  return std::nullopt;
}

std::optional<std::vector<std::string>> TLKeyedUnarchiver::decodeStringArray(std::string_view key) const {
  const PlistValue* value = field(key);
  if (!value) return std::nullopt;
  const PlistValue::Array* items = value->array();
  if (!items) {
    fail(kCorruptArchiveError, "value of \"" + std::string(key) + "\" is not an array");
    return std::nullopt;
  }
  std::vector<std::string> out;
  out.reserve(items->size());
  for (const auto& item : *items) {
    auto text = stringValue(item, key);
    if (!text) return std::nullopt;
    out.push_back(std::move(*text));
  }
  return out;
}

std::optional<std::pair<const PlistValue::Array*, const PlistValue::Array*>> TLKeyedUnarchiver::dictionaryArrays(
    const PlistValue& value, std::string_view key) const {
  if (isTagged(value, TLKeyedArchiver::kDictionaryClass)) {
    const PlistValue* keys = value.find("keys");
    const PlistValue* values = value.find("values");
    if (keys && values && keys->array() && values->array() && keys->array()->size() == values->array()->size()) {
      return std::pair{keys->array(), values->array()};
    }
  }
  fail(kCorruptArchiveError, "value of \"" + std::string(key) + "\" is not a dictionary");
  return std::nullopt;
}

std::optional<std::map<std::string, std::string>> TLKeyedUnarchiver::decodeStringDictionary(std::string_view key) const {
  const PlistValue* value = field(key);
  if (!value) return std::nullopt;
  auto arrays = dictionaryArrays(*value, key);
  if (!arrays) return std::nullopt;
  std::map<std::string, std::string> out;
  for (std::size_t i = 0; i < arrays->first->size(); ++i) {
    auto k = stringValue((*arrays->first)[i], key);
    auto v = k ? stringValue((*arrays->second)[i], key) : std::nullopt;
    if (!v) return std::nullopt;
    out.insert_or_assign(std::move(*k), std::move(*v));
  }
  return out;
}

std::optional<PlistValue> TLKeyedUnarchiver::plistValue(const PlistValue& value, std::string_view key) const {
  switch (value.kind()) {
    case PlistValue::Kind::array: {
      PlistValue::Array items;
      items.reserve(value.array()->size());
      for (const auto& item : *value.array()) {
        auto decoded = plistValue(item, key);
        if (!decoded) return std::nullopt;
        items.push_back(std::move(*decoded));
      }
      return PlistValue(std::move(items));
    }
    case PlistValue::Kind::dictionary: {
      const std::string* className = taggedClass(value);
      if (className && *className == TLKeyedArchiver::kStringClass) {
        auto text = stringValue(value, key);
        if (!text) return std::nullopt;
        return PlistValue(std::move(*text));
      }
      if (className && *className == TLKeyedArchiver::kDateClass) {
        if (const PlistValue* ns = value.find("ns"); ns && ns->integer()) {
          return PlistValue(Date(std::chrono::duration_cast<Date::duration>(std::chrono::nanoseconds(*ns->integer()))));
        }
        break;
      }
      auto arrays = dictionaryArrays(value, key);
      if (!arrays) return std::nullopt;
      PlistValue::Dictionary out;
      for (std::size_t i = 0; i < arrays->first->size(); ++i) {
        auto k = stringValue((*arrays->first)[i], key);
        auto v = k ? plistValue((*arrays->second)[i], key) : std::nullopt;
        if (!v) return std::nullopt;
        out.insert_or_assign(std::move(*k), std::move(*v));
      }
      return PlistValue(std::move(out));
    }
    default:
      return value;
  }
  fail(kCorruptArchiveError, "value of \"" + std::string(key) + "\" is malformed");
  return std::nullopt;
}

std::optional<TLPropertyValue> TLKeyedUnarchiver::propertyValue(const PlistValue& value, std::string_view key) const {
  if (isTagged(value, TLKeyedArchiver::kNullClass)) return TLPropertyValue::null();
  std::optional<TLPropertyValue> out;
  if (auto decoded = plistValue(value, key)) out.emplace(std::move(*decoded));
  return out;
}

std::optional<std::map<std::string, TLPropertyValue>> TLKeyedUnarchiver::decodePropertyDictionary(
    std::string_view key) const {
  const PlistValue* value = field(key);
  if (!value) return std::nullopt;
  auto arrays = dictionaryArrays(*value, key);
  if (!arrays) return std::nullopt;
  std::map<std::string, TLPropertyValue> out;
  for (std::size_t i = 0; i < arrays->first->size(); ++i) {
    auto k = stringValue((*arrays->first)[i], key);
    auto v = k ? propertyValue((*arrays->second)[i], key) : std::nullopt;
    if (!v) return std::nullopt;
    out.insert_or_assign(std::move(*k), std::move(*v));
  }
  return out;
}

std::shared_ptr<TLSerializableObject> TLKeyedUnarchiver::decodeObject(std::string_view key) const {
  const PlistValue* value = field(key);
  if (!value) return nullptr;
  return decodeObjectValue(*value, failure_);
}

}  // namespace ml::beacon
