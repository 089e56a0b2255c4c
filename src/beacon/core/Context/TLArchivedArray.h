#pragma once
// An ordered array of models as one keyed-archive root, for the histories the contexts keep in
// the settings store: "count" holds the number of elements and element i is the object under the
// key "i". Decoding is all or nothing: a missing element, one of a class the caller does not
// expect, or a count beyond kMaxCount makes the whole array unreadable (nothing), never a
// partial history. The element classes must be listed in TLArchiveClasses by the caller.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

class TLArchivedArray : public TLSerializableObject {
 public:
  static constexpr std::int64_t kMaxCount = 1000;

  std::vector<std::shared_ptr<TLSerializableObject>> elements;

  static constexpr std::string_view kClassName = "TLArchivedArray";
  std::string_view className() const override { return kClassName; }
  // A JSON array of the elements' objects.
  TLJsonValue serializeToDictionary() const override;
  bool isValid() const override { return true; }
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;

  // The archive bytes of `elements`; nothing when they cannot be written.
  template <class T>
  static std::optional<std::vector<std::uint8_t>> archive(const std::vector<std::shared_ptr<T>>& elements) {
    TLArchivedArray array;
    array.elements.assign(elements.begin(), elements.end());
    return array.archivedData();
  }
  // The elements of an archive, each of class T (or derived from it); nothing when the bytes are
  // not such an archive.
  template <class T>
  static std::optional<std::vector<std::shared_ptr<T>>> unarchive(std::span<const std::uint8_t> bytes) {
    auto array = unarchivedArray(bytes);
    if (!array) return std::nullopt;
    std::vector<std::shared_ptr<T>> typed;
    for (auto& element : array->elements) {
      auto cast = std::dynamic_pointer_cast<T>(element);
      if (!cast) return std::nullopt;
      typed.push_back(std::move(cast));
    }
    return typed;
  }

 private:
  std::optional<std::vector<std::uint8_t>> archivedData() const;
  static std::shared_ptr<TLArchivedArray> unarchivedArray(std::span<const std::uint8_t> bytes);
};

}  // namespace ml::beacon
