#pragma once
// Builds __unwind_info sections for tests: a header, common encodings, a first-level index with
// its sentinel, and regular or compressed second-level pages.
#include <cstdint>
#include <utility>
#include <vector>

#include "ByteWriter.h"

namespace ml::crash::test {

class CompactUnwindBuilder {
 public:
  struct Page {
    uint32_t first_function;             // the index entry's functionOffset
    bool compressed;
    std::vector<std::pair<uint32_t, uint32_t>> entries;  // regular: (function, encoding); compressed: (function, encoding index)
    std::vector<uint32_t> own_encodings;                // compressed pages only
  };

  std::vector<uint32_t> common;
  std::vector<Page> pages;
  uint32_t sentinel = 0xFFFFFF;
  uint32_t version = 1;

  std::vector<uint8_t> build() const {
    ByteWriter w;
    const uint32_t header_size = 28;
    const uint32_t common_offset = header_size;
    const uint32_t index_offset = common_offset + 4 * static_cast<uint32_t>(common.size());
    const uint32_t index_count = static_cast<uint32_t>(pages.size()) + 1;
    uint32_t page_offset = index_offset + 12 * index_count;
    w.u32(version).u32(common_offset).u32(static_cast<uint32_t>(common.size())).u32(0).u32(0).u32(index_offset).u32(index_count);
    for (uint32_t e : common) w.u32(e);
    std::vector<uint32_t> offsets;
    for (const Page& page : pages) {
      offsets.push_back(page_offset);
      page_offset += static_cast<uint32_t>(pageBytes(page).size());
    }
    for (size_t i = 0; i < pages.size(); ++i) w.u32(pages[i].first_function).u32(offsets[i]).u32(0);
    w.u32(sentinel).u32(0).u32(0);
    for (const Page& page : pages) w.raw(pageBytes(page));
    return w.bytes();
  }

  static std::vector<uint8_t> pageBytes(const Page& page) {
    ByteWriter w;
    if (!page.compressed) {
      w.u32(2).u16(8).u16(page.entries.size());
      for (auto [function, encoding] : page.entries) w.u32(function).u32(encoding);
    } else {
      const uint32_t entries_offset = 12;
      const uint32_t encodings_offset = entries_offset + 4 * static_cast<uint32_t>(page.entries.size());
      w.u32(3).u16(entries_offset).u16(page.entries.size()).u16(encodings_offset).u16(page.own_encodings.size());
      for (auto [function, index] : page.entries) w.u32(((function - page.first_function) & 0xFFFFFF) | (index << 24));
      for (uint32_t e : page.own_encodings) w.u32(e);
    }
    return w.bytes();
  }
};

}  // namespace ml::crash::test
