#pragma once
// Helpers shared by the error-log models: JSON arrays of nested records, equality of optional
// records and lists, and the archive form of record lists.
//
// A list of records is archived as one nested TLArchivedArray object (element i under key "i").
// Decoding is all or nothing: an element of another class fails the whole decoding.
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "beacon/core/Context/TLArchivedArray.h"
#include "beacon/core/TLJson.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

template <class T>
using TLRecordList = std::optional<std::vector<std::shared_ptr<T>>>;

// Both absent, or both present and equal under the record's own equality.
template <class T>
bool recordsEqual(const std::shared_ptr<T>& a, const std::shared_ptr<T>& b) {
  if (!a || !b) return !a && !b;
  return a->isEqual(*b);
}

template <class T>
bool recordListsEqual(const TLRecordList<T>& a, const TLRecordList<T>& b) {
  if (!a || !b) return !a && !b;
  if (a->size() != b->size()) return false;
  for (size_t i = 0; i < a->size(); ++i) {
    if (!recordsEqual((*a)[i], (*b)[i])) return false;
  }
  return true;
}

// Writes the record under `key` when present.
template <class T>
void putRecord(TLJsonValue& json, std::string_view key, const std::shared_ptr<T>& record) {
  if (record) json[std::string(key)] = record->serializeToDictionary();
}

// Writes the list as an array (in list order) whenever it is present, also when empty. A null
// element (which makers never produce) is written as an empty object.
template <class T>
void putRecordList(TLJsonValue& json, std::string_view key, const TLRecordList<T>& list) {
  if (!list) return;
  TLJsonValue array = TLJsonValue::array();
  for (const auto& element : *list) array.push_back(element ? element->serializeToDictionary() : TLJsonValue::object());
  json[std::string(key)] = std::move(array);
}

template <class T>
void encodeRecordList(TLKeyedArchiver& coder, std::string_view key, const TLRecordList<T>& list) {
  if (!list) return;
  TLArchivedArray array;
  for (const auto& element : *list) {
    if (element) array.elements.push_back(element);
  }
  coder.encodeObject(key, &array);
}

template <class T>
TLRecordList<T> decodeRecordList(const TLKeyedUnarchiver& coder, std::string_view key) {
  auto array = coder.decodeObjectOfClass<TLArchivedArray>(key);
  if (!array) return std::nullopt;
  std::vector<std::shared_ptr<T>> list;
  list.reserve(array->elements.size());
  for (const auto& element : array->elements) {
    auto typed = std::dynamic_pointer_cast<T>(element);
    if (!typed) {
      coder.fail(TLKeyedUnarchiver::kCorruptArchiveError,
                 "an element of \"" + std::string(key) + "\" is not a " + std::string(T::kClassName));
      return std::nullopt;
    }
    list.push_back(std::move(typed));
  }
  return list;
}

}  // namespace ml::beacon
