#pragma once
// Builds classic resource forks for tests and fuzz seeds: header at 0, data area at 256, then
// the map (28-byte map header, type list, reference lists, name list). Header-only.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ml::test {

struct ForkResource {
  int16_t id = 128;
  std::optional<std::string> name;  // stored as given (bytes)
  std::vector<uint8_t> data;
  uint8_t attributes = 0;
};

struct ForkType {
  std::string code;  // four bytes
  std::vector<ForkResource> resources;
};

inline void putBE(std::vector<uint8_t>& out, size_t at, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
}

inline std::vector<uint8_t> buildResourceFork(const std::vector<ForkType>& types) {
  constexpr uint32_t kDataOffset = 256;
  std::vector<uint8_t> data;
  std::vector<uint8_t> names;
  struct Ref {
    int16_t id;
    int16_t nameOffset;
    uint8_t attributes;
    uint32_t dataOffset;
  };
  std::vector<std::vector<Ref>> refs;
  for (const auto& t : types) {
    refs.emplace_back();
    for (const auto& r : t.resources) {
      int16_t nameOffset = -1;
      if (r.name) {
        nameOffset = static_cast<int16_t>(names.size());
        names.push_back(static_cast<uint8_t>(r.name->size()));
        names.insert(names.end(), r.name->begin(), r.name->end());
      }
      const auto at = static_cast<uint32_t>(data.size());
      data.resize(data.size() + 4);
      putBE(data, at, static_cast<uint32_t>(r.data.size()), 4);
      data.insert(data.end(), r.data.begin(), r.data.end());
      refs.back().push_back({r.id, nameOffset, r.attributes, at});
    }
  }
  std::vector<uint8_t> map(28);
  const size_t typeList = 28;
  map.resize(typeList + 2 + 8 * types.size());
  putBE(map, 24, static_cast<uint32_t>(typeList), 2);
  putBE(map, typeList, static_cast<uint32_t>(types.size() - 1) & 0xFFFF, 2);
  for (size_t i = 0; i < types.size(); ++i) {
    const size_t entry = typeList + 2 + 8 * i;
    for (size_t c = 0; c < 4; ++c) map[entry + c] = static_cast<uint8_t>(types[i].code[c]);
    putBE(map, entry + 4, static_cast<uint32_t>(types[i].resources.size() - 1) & 0xFFFF, 2);
    putBE(map, entry + 6, static_cast<uint32_t>(map.size() - typeList), 2);
    for (const auto& r : refs[i]) {
      const size_t at = map.size();
      map.resize(at + 12);
      putBE(map, at, static_cast<uint16_t>(r.id), 2);
      putBE(map, at + 2, static_cast<uint16_t>(r.nameOffset), 2);
      putBE(map, at + 4, (uint32_t{r.attributes} << 24) | r.dataOffset, 4);
    }
  }
  putBE(map, 26, static_cast<uint32_t>(map.size()), 2);
  map.insert(map.end(), names.begin(), names.end());

  std::vector<uint8_t> fork(kDataOffset);
  fork.insert(fork.end(), data.begin(), data.end());
  const auto mapOffset = static_cast<uint32_t>(fork.size());
  fork.insert(fork.end(), map.begin(), map.end());
  putBE(fork, 0, kDataOffset, 4);
  putBE(fork, 4, mapOffset, 4);
  putBE(fork, 8, static_cast<uint32_t>(data.size()), 4);
  putBE(fork, 12, static_cast<uint32_t>(map.size()), 4);
  return fork;
}

// A 'vers' resource: version 1.2.3 final, region 0, then the two Pascal strings.
inline std::vector<uint8_t> versResource(const std::string& shortVersion, const std::string& longVersion) {
  std::vector<uint8_t> out = {0x01, 0x23, 0x80, 0x00, 0x00, 0x00};
  out.push_back(static_cast<uint8_t>(shortVersion.size()));
  out.insert(out.end(), shortVersion.begin(), shortVersion.end());
  out.push_back(static_cast<uint8_t>(longVersion.size()));
  out.insert(out.end(), longVersion.begin(), longVersion.end());
  return out;
}

}  // namespace ml::test
