#include "files/HfsResourceFork.h"

#include "platform/darwin/BigEndian.h"
#include "platform/darwin/MacRoman.h"

namespace ml::files {

using darwin::readI16BE;
using darwin::readI32BE;
using darwin::readU24BE;
using darwin::readU8;

namespace {

constexpr const char* kResourceForkAttribute = "com.apple.ResourceFork";

// [offset, offset + length) lies inside a buffer of `size` bytes. All values are non-negative
// 64-bit numbers made from at most 32-bit fields, so the sum cannot overflow.
bool fits(int64_t offset, int64_t length, size_t size) {
  return offset >= 0 && length >= 0 && offset + length <= static_cast<int64_t>(size);
}

}  // namespace

HfsResourceFork::HfsResourceFork(Loader loader) : loader_(std::move(loader)) {
  auto fork = loader_();
  if (!fork) return;
  auto dataOffset = readI32BE(*fork, 0), mapOffset = readI32BE(*fork, 4);
  auto dataSize = readI32BE(*fork, 8), mapSize = readI32BE(*fork, 12);
  if (!dataOffset || !mapOffset || !dataSize || !mapSize) return;
  header_ = {*dataOffset, *dataSize, *mapOffset, *mapSize, true};
}

HfsResourceFork::ResourceMap HfsResourceFork::parseMap(const Bytes& map) {
  ResourceMap result;
  const auto typeListOffset = readI16BE(map, 24), nameListOffset = readI16BE(map, 26);
  if (!typeListOffset || !nameListOffset || *typeListOffset < 0 || *nameListOffset < *typeListOffset) return result;
  const int64_t typeList = *typeListOffset, nameList = *nameListOffset;
  if (nameList > static_cast<int64_t>(map.size())) return result;

  // The type list runs from its offset up to the name list.
  const Bytes typeBytes(map.begin() + typeList, map.begin() + nameList);
  if (auto stored = readI16BE(typeBytes, 0); stored && *stored >= -1) {
    const int64_t types = int64_t{*stored} + 1;
    for (int64_t i = 0; i < types; ++i) {
      const int64_t at = 2 + 8 * i;
      if (!fits(at, 8, typeBytes.size())) break;
      const std::string code(typeBytes.begin() + at, typeBytes.begin() + at + 4);
      if (!darwin::decodeUtf8(code)) continue;  // a code that is no text cannot be asked for
      const auto count = readI16BE(typeBytes, static_cast<size_t>(at + 4));
      const auto offset = readI16BE(typeBytes, static_cast<size_t>(at + 6));
      if (*count < -1 || *offset < 0) continue;
      result.types.push_back({code, int64_t{*count} + 1, int64_t{*offset} + typeList});
    }
  }

  for (int64_t at = nameList; at < static_cast<int64_t>(map.size());) {
    const int64_t length = map[static_cast<size_t>(at)];
    if (!fits(at + 1, length, map.size())) break;
    result.names[at - nameList] =
        darwin::decodeMacRoman(std::span(map).subspan(static_cast<size_t>(at + 1), static_cast<size_t>(length)));
    at += 1 + length;
  }
  return result;
}

std::vector<HfsResourceFork::Reference> HfsResourceFork::locate(std::string_view type, const Bytes& fork) {
  if (!header_.valid) return {};
  if (!map_) {
    if (!fits(header_.mapOffset, header_.mapSize, fork.size())) return {};
    const auto start = fork.begin() + header_.mapOffset;
    map_ = parseMap(Bytes(start, start + header_.mapSize));
  }
  const ResourceType* found = nullptr;
  for (const auto& t : map_->types)
    if (t.code == type) {
      found = &t;
      break;
    }
  if (!found) return {};

  // References are read from the fork as it is now, inside the map's extent.
  if (!fits(header_.mapOffset, header_.mapSize, fork.size())) return {};
  const std::span<const uint8_t> map(fork.data() + header_.mapOffset, static_cast<size_t>(header_.mapSize));
  std::vector<Reference> references;
  for (int64_t k = 0; k < found->count; ++k) {
    const int64_t at = found->offset + 12 * k;
    if (!fits(at, 8, map.size())) break;
    const auto offset = static_cast<size_t>(at);
    Reference r;
    r.id = *readI16BE(map, offset);
    const int16_t name = *readI16BE(map, offset + 2);
    if (name >= 0) r.nameOffset = name;
    r.dataOffset = *readU24BE(map, offset + 5);
    references.push_back(r);
  }
  return references;
}

std::vector<Bytes> HfsResourceFork::resources(std::string_view type, std::optional<std::string_view> name) {
  auto fork = loader_();
  if (!fork) return {};
  std::vector<Bytes> result;
  for (const auto& r : locate(type, *fork)) {
    if (name) {
      if (!r.nameOffset) continue;
      auto entry = map_->names.find(*r.nameOffset);
      if (entry == map_->names.end() || entry->second != *name) continue;
    }
    const int64_t at = header_.dataOffset + int64_t{r.dataOffset};
    if (at < 0) continue;
    const auto length = readI32BE(*fork, static_cast<size_t>(at));
    if (!length || *length < 0 || !fits(at + 4, *length, fork->size())) continue;
    const auto begin = fork->begin() + at + 4;
    result.emplace_back(begin, begin + *length);
  }
  return result;
}

std::optional<VersionStrings> HfsResourceFork::decodeVersion(const Bytes& resource) {
  const auto shortLength = readU8(resource, 6);
  if (!shortLength || !fits(7, *shortLength, resource.size())) return std::nullopt;
  const std::span<const uint8_t> bytes(resource);
  VersionStrings strings;
  strings.shortVersion = darwin::decodeMacRoman(bytes.subspan(7, *shortLength));
  const size_t longAt = 7 + *shortLength;
  if (auto longLength = readU8(resource, longAt)) {
    if (!fits(static_cast<int64_t>(longAt) + 1, *longLength, resource.size())) return std::nullopt;
    strings.longVersion = darwin::decodeMacRoman(bytes.subspan(longAt + 1, *longLength));
  }
  return strings;
}

std::optional<VersionStrings> HfsResourceFork::versionStrings() {
  auto all = resources("vers");
  if (all.empty()) return std::nullopt;
  return decodeVersion(all.front());
}

std::optional<std::string> HfsResourceFork::version() {
  auto strings = versionStrings();
  if (!strings) return std::nullopt;
  if (!strings->longVersion.empty()) return strings->longVersion;
  if (!strings->shortVersion.empty()) return strings->shortVersion;
  return std::nullopt;
}

std::optional<HfsResourceFork> resourceFork(std::shared_ptr<const AppleAttributeView> view) {
  if (!view || !view->hasExtendedAttribute(kResourceForkAttribute)) return std::nullopt;
  return HfsResourceFork([view] { return view->extendedAttribute(kResourceForkAttribute); });
}

}  // namespace ml::files
