#include "beacon/core/Context/TLArchivedArray.h"

#include <string>

#include "beacon/core/TLArchiveClasses.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"

namespace ml::beacon {

TLJsonValue TLArchivedArray::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::array();
  for (const auto& element : elements) json.push_back(element ? element->serializeToDictionary() : TLJsonValue());
  return json;
}

bool TLArchivedArray::isEqual(const TLSerializableObject& other) const {
  const auto* array = dynamic_cast<const TLArchivedArray*>(&other);
  if (!array || array->elements.size() != elements.size()) return false;
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const auto& a = elements[i];
    const auto& b = array->elements[i];
    if (!a || !b ? a != b : !a->isEqual(*b)) return false;
  }
  return true;
}

void TLArchivedArray::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeInt64("count", static_cast<std::int64_t>(elements.size()));
  for (std::size_t i = 0; i < elements.size(); ++i) coder.encodeObject(std::to_string(i), elements[i].get());
}

void TLArchivedArray::initWithCoder(const TLKeyedUnarchiver& coder) {
  elements.clear();
  auto count = coder.decodeInt64("count");
  if (!count || *count < 0 || *count > kMaxCount) {
    coder.fail(TLKeyedUnarchiver::kCorruptArchiveError, "array count is missing or out of range");
    return;
  }
  for (std::int64_t i = 0; i < *count; ++i) {
    auto element = coder.decodeObject(std::to_string(i));
    if (!element) {
      coder.fail(TLKeyedUnarchiver::kCorruptArchiveError, "array element " + std::to_string(i) + " is missing");
      elements.clear();
      return;
    }
    elements.push_back(std::move(element));
  }
}

std::optional<std::vector<std::uint8_t>> TLArchivedArray::archivedData() const {
  auto data = TLKeyedArchiver::archivedData(*this);
  if (!data) return std::nullopt;
  return std::move(*data);
}

std::shared_ptr<TLArchivedArray> TLArchivedArray::unarchivedArray(std::span<const std::uint8_t> bytes) {
  TLArchiveClasses::add<TLArchivedArray>();
  auto decoded = TLKeyedUnarchiver::unarchivedObjectOfClass<TLArchivedArray>(bytes);
  if (!decoded) return nullptr;
  return std::move(*decoded);
}

}  // namespace ml::beacon
