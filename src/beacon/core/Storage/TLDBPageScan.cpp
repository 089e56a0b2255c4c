#include "beacon/core/Storage/TLDBPageScan.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

namespace ml::beacon {

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kWalHeaderSize = 32;
constexpr std::size_t kFrameHeaderSize = 24;
constexpr std::uint8_t kTableLeafPage = 13;

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t big32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
std::uint32_t little32(const std::uint8_t* p) {
  return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}
std::uint16_t big16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

bool validPageSize(std::uint32_t size) { return size >= 512 && size <= 65536 && (size & (size - 1)) == 0; }

// The log's running checksum over `size` bytes (a multiple of 8), seeded with `seed`; words are
// big-endian when `bigEndian`, little-endian otherwise.
std::pair<std::uint32_t, std::uint32_t> checksum(const std::uint8_t* data, std::size_t size, bool bigEndian,
                                                 std::pair<std::uint32_t, std::uint32_t> seed) {
  auto [s1, s2] = seed;
  for (std::size_t i = 0; i + 8 <= size; i += 8) {
    s1 += (bigEndian ? big32(data + i) : little32(data + i)) + s2;
    s2 += (bigEndian ? big32(data + i + 4) : little32(data + i + 4)) + s1;
  }
  return {s1, s2};
}

// The frames of a write-ahead log and how far each can be trusted.
struct WalFrames {
  std::uint32_t pageSize = 0;
  std::size_t complete = 0;      // whole frames in the file
  std::size_t validPrefix = 0;   // frames up to the last commit SQLite itself accepts
  bool headerIntact = false;
  // Frames whose own checksum (seeded with the previous frame's) holds and whose salts are the
  // log's; with the commit frames among them.
  std::vector<bool> intact;
  std::vector<bool> commit;
  std::uint32_t salt1 = 0, salt2 = 0;
  Bytes bytes;
  const std::uint8_t* frame(std::size_t i) const { return bytes.data() + kWalHeaderSize + i * (kFrameHeaderSize + pageSize); }
};

std::optional<WalFrames> readWal(const fs::path& database) {
  WalFrames wal;
  wal.bytes = readFile(database.string() + "-wal");
  if (wal.bytes.size() < kWalHeaderSize) return std::nullopt;
  const std::uint8_t* header = wal.bytes.data();
  const std::uint32_t magic = big32(header);
  const bool magicOk = (magic & 0xFFFFFFFEu) == 0x377f0682u;
  const bool bigEndian = magicOk ? (magic & 1) != 0 : false;
  wal.pageSize = big32(header + 8);
  wal.headerIntact = magicOk && big32(header + 4) == 3007000 && validPageSize(wal.pageSize) &&
                     checksum(header, 24, bigEndian, {0, 0}) == std::pair{big32(header + 24), big32(header + 28)};
  if (!validPageSize(wal.pageSize)) {
    // A damaged header: the page size the frames' spacing fits best is tried, 4096 first.
    wal.pageSize = 4096;
  }
  wal.complete = (wal.bytes.size() - kWalHeaderSize) / (kFrameHeaderSize + wal.pageSize);
  if (wal.complete == 0) return wal;
  wal.salt1 = big32(header + 16);
  wal.salt2 = big32(header + 20);
  if (!wal.headerIntact) {  // the salts of the first frames then stand for the log's
    wal.salt1 = big32(wal.frame(0) + 8);
    wal.salt2 = big32(wal.frame(0) + 12);
  }
  wal.intact.assign(wal.complete, false);
  wal.commit.assign(wal.complete, false);
  std::pair<std::uint32_t, std::uint32_t> chain{big32(header + 24), big32(header + 28)};
  bool chained = wal.headerIntact;
  for (std::size_t i = 0; i < wal.complete; ++i) {
    const std::uint8_t* frame = wal.frame(i);
    const bool salted = big32(frame + 8) == wal.salt1 && big32(frame + 12) == wal.salt2 && big32(frame) != 0;
    const std::pair stored{big32(frame + 16), big32(frame + 20)};
    auto local = [&](std::pair<std::uint32_t, std::uint32_t> seed) {
      auto sum = checksum(frame, 8, bigEndian, seed);
      return checksum(frame + kFrameHeaderSize, wal.pageSize, bigEndian, sum) == stored;
    };
    // The first frame chains from the header, every other from the checksum its predecessor stores.
    const auto seed = i == 0 ? chain : std::pair{big32(wal.frame(i - 1) + 16), big32(wal.frame(i - 1) + 20)};
    wal.intact[i] = salted && local(seed);
    wal.commit[i] = wal.intact[i] && big32(frame + 4) != 0;
    chained = chained && wal.intact[i];
    if (chained && wal.commit[i]) wal.validPrefix = i + 1;
  }
  return wal;
}

// The frames laid over the main file: those SQLite accepts, then every intact frame after them up
// to the last intact commit.
std::size_t lastAppliedFrame(const WalFrames& wal) {
  std::size_t last = wal.validPrefix;
  for (std::size_t i = wal.validPrefix; i < wal.complete; ++i) {
    if (wal.commit[i]) last = i + 1;
  }
  return last;
}

// The wal-index's count of valid frames, when the shared-memory file is intact and belongs to
// this log; it outlives a killed process.
std::optional<std::uint32_t> indexedFrames(const fs::path& database, const WalFrames& wal) {
  Bytes shm = readFile(database.string() + "-shm");
  if (shm.size() < 96 || std::memcmp(shm.data(), shm.data() + 48, 48) != 0 || shm[12] == 0) return std::nullopt;
  std::uint32_t maxFrame = 0, salt1 = 0, salt2 = 0;
  std::memcpy(&maxFrame, shm.data() + 16, 4);  // native byte order
  std::memcpy(&salt1, shm.data() + 32, 4);
  std::memcpy(&salt2, shm.data() + 36, 4);
  // The salts are copied from the log's header as they are stored there (big-endian words).
  auto asStored = [](std::uint32_t value) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(&value);
    return big32(b);
  };
  if (asStored(salt1) != wal.salt1 || asStored(salt2) != wal.salt2) return std::nullopt;
  return maxFrame;
}

// The database's pages as the last intact commit left them.
struct Image {
  std::uint32_t pageSize = 4096;
  std::uint32_t usable = 4096;
  std::map<std::uint32_t, const std::uint8_t*> pages;  // page number -> its bytes
  Bytes main;
  std::optional<WalFrames> wal;

  const std::uint8_t* page(std::uint32_t number) const {
    auto it = pages.find(number);
    return it == pages.end() ? nullptr : it->second;
  }
};

Image buildImage(const fs::path& database) {
  Image image;
  image.main = readFile(database);
  image.wal = readWal(database);
  std::uint32_t reserved = 0;
  const bool headerIntact = image.main.size() >= 100 && std::memcmp(image.main.data(), "SQLite format 3", 16) == 0;
  if (headerIntact) {
    std::uint32_t size = big16(image.main.data() + 16);
    if (size == 1) size = 65536;
    if (validPageSize(size)) image.pageSize = size;
    reserved = image.main[20];
  } else if (image.wal && validPageSize(image.wal->pageSize)) {
    image.pageSize = image.wal->pageSize;
  }
  if (reserved >= image.pageSize / 2) reserved = 0;
  image.usable = image.pageSize - reserved;
  std::uint32_t databasePages = static_cast<std::uint32_t>(image.main.size() / image.pageSize);
  for (std::uint32_t n = 1; n <= databasePages; ++n) image.pages[n] = image.main.data() + std::size_t{n - 1} * image.pageSize;
  if (image.wal && image.wal->pageSize == image.pageSize) {
    const std::size_t last = lastAppliedFrame(*image.wal);
    std::uint32_t committedSize = 0;
    for (std::size_t i = 0; i < last; ++i) {
      if (!image.wal->intact[i]) continue;
      const std::uint8_t* frame = image.wal->frame(i);
      image.pages[big32(frame)] = frame + kFrameHeaderSize;
      if (image.wal->commit[i]) committedSize = big32(frame + 4);
    }
    // Pages beyond the size of the last commit were given up (auto-vacuum truncates the file).
    if (committedSize > 0) image.pages.erase(image.pages.upper_bound(committedSize), image.pages.end());
  }
  return image;
}

// A varint at `p` (at most 9 bytes, not past `end`); nothing when cut short.
std::optional<std::uint64_t> varint(const std::uint8_t*& p, const std::uint8_t* end) {
  std::uint64_t value = 0;
  for (int i = 0; i < 9; ++i) {
    if (p >= end) return std::nullopt;
    const std::uint8_t byte = *p++;
    if (i == 8) return (value << 8) | byte;
    value = (value << 7) | (byte & 0x7F);
    if ((byte & 0x80) == 0) return value;
  }
  return value;
}

// A cell's whole payload, following its overflow chain; nothing when the chain is broken.
std::optional<Bytes> payload(const Image& image, const std::uint8_t* local, const std::uint8_t* pageEnd,
                             std::uint64_t size) {
  const std::uint64_t usable = image.usable;
  const std::uint64_t maxLocal = usable - 35;
  std::uint64_t onPage = size;
  if (size > maxLocal) {
    const std::uint64_t minLocal = (usable - 12) * 32 / 255 - 23;
    const std::uint64_t k = minLocal + (size - minLocal) % (usable - 4);
    onPage = k <= maxLocal ? k : minLocal;
  }
  if (local + onPage > pageEnd) return std::nullopt;
  Bytes bytes(local, local + onPage);
  if (onPage == size) return bytes;
  if (local + onPage + 4 > pageEnd) return std::nullopt;
  std::uint32_t next = big32(local + onPage);
  std::set<std::uint32_t> seen;
  while (bytes.size() < size) {
    const std::uint8_t* page = next != 0 && seen.insert(next).second ? image.page(next) : nullptr;
    if (!page) return std::nullopt;
    const std::size_t take = std::min<std::uint64_t>(size - bytes.size(), usable - 4);
    bytes.insert(bytes.end(), page + 4, page + 4 + take);
    next = big32(page);
  }
  return bytes;
}

bool hasWord(const TLDBColumn& column, std::string_view word) {
  return std::find(column.attributes.begin(), column.attributes.end(), word) != column.attributes.end();
}

// The record's values in column order, when it has the table's shape.
std::optional<TLDBRow> decodeRecord(const Bytes& record, std::int64_t rowid, const TLDBColumnsSchema& columns) {
  const std::uint8_t* p = record.data();
  const std::uint8_t* end = record.data() + record.size();
  auto headerSize = varint(p, end);
  if (!headerSize || *headerSize > record.size() || *headerSize < 1) return std::nullopt;
  const std::uint8_t* headerEnd = record.data() + *headerSize;
  std::vector<std::uint64_t> types;
  while (p < headerEnd) {
    auto type = varint(p, headerEnd);
    if (!type) return std::nullopt;
    types.push_back(*type);
  }
  if (types.empty() || types.size() > columns.size()) return std::nullopt;
  TLDBRow row;
  const std::uint8_t* value = headerEnd;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const TLDBColumn& column = columns[i];
    const std::uint64_t type = i < types.size() ? types[i] : 0;
    const bool rowidAlias = hasWord(column, "PRIMARY") && hasWord(column, "INTEGER");
    if (type == 0) {
      if (rowidAlias) {
        row.emplace_back(rowid);
        continue;
      }
      if (hasWord(column, "NOT") && i < types.size()) return std::nullopt;
      row.emplace_back(std::monostate{});
      continue;
    }
    if (rowidAlias) return std::nullopt;
    if (type >= 1 && type <= 6) {
      static constexpr int kWidth[] = {0, 1, 2, 3, 4, 6, 8};
      const int width = kWidth[type];
      if (value + width > end || !hasWord(column, "INTEGER")) return std::nullopt;
      std::int64_t number = static_cast<std::int8_t>(value[0]);  // sign from the first byte
      for (int b = 1; b < width; ++b) number = static_cast<std::int64_t>(static_cast<std::uint64_t>(number) << 8 | value[b]);
      value += width;
      row.emplace_back(number);
    } else if (type == 8 || type == 9) {
      if (!hasWord(column, "INTEGER")) return std::nullopt;
      row.emplace_back(std::int64_t{type == 9 ? 1 : 0});
    } else if (type >= 13 && type % 2 == 1) {
      const std::uint64_t length = (type - 13) / 2;
      if (!hasWord(column, "TEXT") || length > static_cast<std::uint64_t>(end - value)) return std::nullopt;
      row.emplace_back(std::string(reinterpret_cast<const char*>(value), length));
      value += length;
    } else {
      return std::nullopt;  // reals, blobs and reserved types have no place in these tables
    }
  }
  return value == end ? std::optional<TLDBRow>(std::move(row)) : std::nullopt;
}

void scanLeaf(const Image& image, std::uint32_t number, const std::uint8_t* page, const TLDBColumnsSchema& columns,
              std::map<std::int64_t, TLDBRow>& rows) {
  const std::size_t headerAt = number == 1 ? 100 : 0;
  const std::uint8_t* end = page + image.usable;
  if (page[headerAt] != kTableLeafPage) return;
  const std::uint16_t cells = big16(page + headerAt + 3);
  const std::size_t pointers = headerAt + 8;
  if (pointers + std::size_t{cells} * 2 > image.usable) return;
  for (std::uint16_t c = 0; c < cells; ++c) {
    const std::uint16_t offset = big16(page + pointers + std::size_t{c} * 2);
    if (offset < pointers + std::size_t{cells} * 2 || offset >= image.usable) continue;
    const std::uint8_t* p = page + offset;
    auto size = varint(p, end);
    auto rowid = size ? varint(p, end) : std::nullopt;
    if (!size || !rowid || *size > (1u << 30)) continue;
    auto bytes = payload(image, p, end, *size);
    if (!bytes) continue;
    if (auto row = decodeRecord(*bytes, static_cast<std::int64_t>(*rowid), columns)) {
      rows.emplace(static_cast<std::int64_t>(*rowid), std::move(*row));
    }
  }
}

std::string frameRange(std::size_t first, std::size_t last) {
  return first == last ? "frame " + std::to_string(first + 1)
                       : "frames " + std::to_string(first + 1) + "-" + std::to_string(last + 1);
}

}  // namespace

TLDBWalInspection inspectWriteAheadLog(const fs::path& database) {
  TLDBWalInspection inspection;
  // Another process with the file open may be rewriting its log under the reading: what it is
  // writing is not damage. SQLite's connections hold a read lock on the shared-memory file's
  // "DMS" byte while they are open.
  if (int shm = ::open((database.string() + "-shm").c_str(), O_RDONLY | O_CLOEXEC); shm >= 0) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 128;  // the first byte after the eight locks of the wal-index
    probe.l_len = 1;
    const bool inUse = ::fcntl(shm, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(shm);
    if (inUse) return inspection;
  }
  auto wal = readWal(database);
  if (!wal) return inspection;
  const std::size_t applied = wal->complete > 0 ? lastAppliedFrame(*wal) : 0;
  if (applied > wal->validPrefix) {
    // Intact commits after frames SQLite cannot read: it would drop them all.
    std::size_t first = wal->validPrefix;
    while (first < applied && wal->intact[first]) ++first;
    std::size_t damaged = 0, last = first;
    for (std::size_t i = first; i < applied; ++i) {
      if (!wal->intact[i]) {
        ++damaged;
        last = i;
      }
    }
    inspection.damage = !wal->headerIntact ? "its write-ahead log's header is damaged"
                                           : "its write-ahead log is damaged at " + frameRange(first, last) + " of " +
                                                 std::to_string(wal->complete) + " (" + std::to_string(damaged) +
                                                 " unreadable page image(s))";
    return inspection;
  }
  if (auto indexed = indexedFrames(database, *wal); indexed && *indexed > wal->complete && wal->headerIntact) {
    inspection.damage = "its write-ahead log was cut short: " + std::to_string(*indexed - wal->complete) + " of " +
                        std::to_string(*indexed) + " committed page image(s) are missing";
  }
  return inspection;
}

std::string describeMissingPages(const fs::path& database) {
  std::ifstream in(database, std::ios::binary);
  std::uint8_t header[100] = {};
  if (!in.read(reinterpret_cast<char*>(header), sizeof header) || std::memcmp(header, "SQLite format 3", 16) != 0) {
    return {};
  }
  std::uint32_t pageSize = big16(header + 16);
  if (pageSize == 1) pageSize = 65536;
  // The page count in the header is valid only while its "valid-for" number matches the change
  // counter.
  const std::uint32_t pages = big32(header + 28);
  if (!validPageSize(pageSize) || pages == 0 || big32(header + 92) != big32(header + 24)) return {};
  std::error_code ec;
  const auto size = fs::file_size(database, ec);
  if (ec || size / pageSize >= pages) return {};
  return "the file holds only " + std::to_string(size / pageSize) + " of its " + std::to_string(pages) + " pages";
}

std::map<std::int64_t, TLDBRow> scanTableRows(const fs::path& database, const TLDBColumnsSchema& columns) {
  std::map<std::int64_t, TLDBRow> rows;
  const Image image = buildImage(database);
  for (const auto& [number, page] : image.pages) scanLeaf(image, number, page, columns, rows);
  return rows;
}

}  // namespace ml::beacon
