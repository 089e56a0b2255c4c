#pragma once
// A read-only reader of a classic resource fork (the attribute "com.apple.ResourceFork"): the
// resources of one four-character type, optionally only those with a given name, and the text
// of the 'vers' resource.
//
// The fork is outside data. Every offset and length is checked against the bytes actually
// there and computed without overflow; a fork, type, reference, name or resource that does not
// fit is treated as absent (empty results, no version), never read past.
//
// The header is read at construction; the map on the first query and kept. Every query reads
// the fork's bytes anew through the loader. One thread at a time.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/AttributeViews.h"

namespace ml::files {

// The two strings of a 'vers' resource (Pascal strings after its six numeric bytes).
struct VersionStrings {
  std::string shortVersion;
  std::string longVersion;
  friend bool operator==(const VersionStrings&, const VersionStrings&) = default;
};

class HfsResourceFork {
 public:
  // Answers the fork's bytes, or nullopt when they have gone.
  using Loader = std::function<std::optional<Bytes>()>;

  explicit HfsResourceFork(Loader loader);

  // The bytes of the type's resources in reference order; with a name, only those so named.
  std::vector<Bytes> resources(std::string_view type, std::optional<std::string_view> name = std::nullopt);

  // The text shown for the fork's version: the long version string of the first 'vers'
  // resource, or its short one when the long one is empty; nullopt when there is no 'vers'
  // resource or it is malformed.
  std::optional<std::string> version();
  std::optional<VersionStrings> versionStrings();

  // Decodes one 'vers' resource.
  static std::optional<VersionStrings> decodeVersion(const Bytes& resource);

 private:
  struct Header {
    int64_t dataOffset = 0, dataSize = 0, mapOffset = 0, mapSize = 0;
    bool valid = false;
  };
  struct ResourceType {
    std::string code;
    int64_t count = 0;
    int64_t offset = 0;  // of the reference list, from the start of the map
  };
  struct Reference {
    int16_t id = 0;
    std::optional<int16_t> nameOffset;
    uint32_t dataOffset = 0;
  };
  struct ResourceMap {
    std::vector<ResourceType> types;
    std::map<int64_t, std::string> names;
  };

  static ResourceMap parseMap(const Bytes& map);
  std::vector<Reference> locate(std::string_view type, const Bytes& fork);

  Loader loader_;
  Header header_;
  std::optional<ResourceMap> map_;
};

// The reader of the view's resource fork; nullopt when the view has no such attribute. The
// view is kept by the loader, so the reader outlives the caller's reference to it.
std::optional<HfsResourceFork> resourceFork(std::shared_ptr<const AppleAttributeView> view);

}  // namespace ml::files
