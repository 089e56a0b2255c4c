#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ElfFixture.h"
#include "MappedBytes.h"
#include "crashreporter/image/ElfImage.h"
#include "crashreporter/image/ElfSymbols.h"
#include "crashreporter/image/MachOFormat.h"
#include "support/TempDir.h"

namespace ml::crash {
namespace {

using test::ElfFixture;
using test::MappedBytes;

struct Hit {
  uint64_t address = 0;
  std::string name;
};

void record(uint64_t address, const char* name, void* context) {
  auto* hit = static_cast<Hit*>(context);
  hit->address = address;
  hit->name = name;
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ElfImage, ParsesALoadedSharedObject) {
  ElfFixture fixture;
  tlcrash_async_elf image;
  const std::string path = ElfFixture::path();
  ASSERT_EQ(tlcrash_async_elf_init(&image, tlcrash_async_task_self(), path.c_str(), fixture.header()), TLCRASH_ESUCCESS);
  EXPECT_EQ(image.bias, static_cast<int64_t>(fixture.header()));
  EXPECT_TRUE(image.has_uuid);
  EXPECT_NE(image.eh_frame_hdr_addr, 0u);
  EXPECT_NE(image.dynsym_count, 0u);
  EXPECT_EQ(tlcrash_async_elf_cpu_type(&image), macho::kCpuTypeX86_64);
  EXPECT_EQ(tlcrash_async_elf_cpu_subtype(&image), 3u);

  const uint64_t first = fixture.function("crashimage_fixture_first");
  EXPECT_TRUE(tlcrash_async_elf_contains_address(&image, first));
  EXPECT_TRUE(tlcrash_async_elf_contains_address(&image, fixture.header()));
  EXPECT_FALSE(tlcrash_async_elf_contains_address(&image, fixture.header() + image.text_size));
}

TEST(ElfImage, RefusesWhatIsNotAnElfImage) {
  MappedBytes notElf({'M', 'Z', 0, 0});
  tlcrash_async_elf image;
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_elf_init(&image, tlcrash_async_task_self(), "x", notElf.address()), TLCRASH_EINVAL);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Unsupported ELF image in: x"), std::string::npos);

  MappedBytes gone({}, 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_elf_init(&image, tlcrash_async_task_self(), "y", gone.address() + test::pageSize()),
            TLCRASH_ENOTFOUND);
  testing::internal::GetCapturedStderr();
}

TEST(ElfImage, HeaderOutsideEveryLoadableSegmentIsRefused) {
  // A copy of the fixture's first page whose program headers no longer map offset 0.
  ElfFixture fixture;
  std::vector<uint8_t> bytes(test::pageSize());
  std::memcpy(bytes.data(), reinterpret_cast<const void*>(fixture.header()), bytes.size());
  Elf64_Ehdr header;
  std::memcpy(&header, bytes.data(), sizeof(header));
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    auto* ph = reinterpret_cast<Elf64_Phdr*>(bytes.data() + header.e_phoff + i * header.e_phentsize);
    if (ph->p_type == PT_LOAD) ph->p_offset += 0x1000;
  }
  MappedBytes copy(bytes);
  tlcrash_async_elf image;
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_elf_init(&image, tlcrash_async_task_self(), "copy", copy.address()), TLCRASH_EINVAL);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("ELF header is not in a loadable segment"), std::string::npos);
}

TEST(ElfSymbols, DynamicSymbolsNameExportedFunctions) {
  ElfFixture fixture;
  tlcrash_async_elf image;
  ASSERT_EQ(tlcrash_async_elf_init(&image, tlcrash_async_task_self(), "", fixture.header()), TLCRASH_ESUCCESS);
  const uint64_t second = fixture.function("crashimage_fixture_second");
  Hit hit;
  ASSERT_EQ(tlcrash_async_elf_find_symbol_by_pc(&image, nullptr, second + 3, record, &hit), TLCRASH_ESUCCESS);
  EXPECT_EQ(hit.name, "crashimage_fixture_second");
  EXPECT_EQ(hit.address, second);
  EXPECT_EQ(tlcrash_async_elf_find_symbol_by_pc(&image, nullptr, fixture.header() + 1, record, &hit), TLCRASH_ENOTFOUND);
}

TEST(ElfSymbols, FileSymbolTableNamesLocalFunctions) {
  ElfFixture fixture;
  const std::string path = ElfFixture::path();
  tlcrash_async_elf image;
  ASSERT_EQ(tlcrash_async_elf_init(&image, tlcrash_async_task_self(), path.c_str(), fixture.header()), TLCRASH_ESUCCESS);
  tlcrash_elf_file_symbols file;
  ASSERT_EQ(tlcrash_nasync_elf_file_symbols_init(&file, path.c_str(), &image), TLCRASH_ESUCCESS);
  EXPECT_TRUE(file.available);

  const uint64_t local = fixture.fileSymbol("crashimage_fixture_local");
  Hit full;
  ASSERT_EQ(tlcrash_async_elf_find_symbol_by_pc(&image, &file, local + 1, record, &full), TLCRASH_ESUCCESS);
  EXPECT_EQ(full.name, "crashimage_fixture_local");
  EXPECT_EQ(full.address, local);

  // Not exported: no dynamic symbol covers it, so without the file it has no name at all.
  Hit dynamicOnly;
  EXPECT_EQ(tlcrash_async_elf_find_symbol_by_pc(&image, nullptr, local + 1, record, &dynamicOnly), TLCRASH_ENOTFOUND)
      << "named " << dynamicOnly.name;

  // A symbol names its own bytes only: the byte after its last names another symbol or none.
  const uint64_t second = fixture.function("crashimage_fixture_second");
  Dl_info info;
  void* raw_entry = nullptr;
  ASSERT_NE(::dladdr1(reinterpret_cast<void*>(second), &info, &raw_entry, RTLD_DL_SYMENT), 0);
  const auto* entry = static_cast<const Elf64_Sym*>(raw_entry);
  ASSERT_NE(entry->st_size, 0u);
  const uint64_t past = second + entry->st_size;
  for (const tlcrash_elf_file_symbols* table : {static_cast<const tlcrash_elf_file_symbols*>(nullptr),
                                                static_cast<const tlcrash_elf_file_symbols*>(&file)}) {
    Hit last;
    ASSERT_EQ(tlcrash_async_elf_find_symbol_by_pc(&image, table, past - 1, record, &last), TLCRASH_ESUCCESS);
    EXPECT_EQ(last.name, "crashimage_fixture_second");
    Hit beyond;
    if (tlcrash_async_elf_find_symbol_by_pc(&image, table, past, record, &beyond) == TLCRASH_ESUCCESS) {
      EXPECT_GE(beyond.address, past) << beyond.name << " does not cover the byte after crashimage_fixture_second";
    }
  }
}

TEST(ElfSymbols, FileOfAnotherBuildIsNotUsed) {
  ElfFixture fixture;
  tlcrash_async_elf image;
  ASSERT_EQ(tlcrash_async_elf_init(&image, tlcrash_async_task_self(), "", fixture.header()), TLCRASH_ESUCCESS);
  ASSERT_TRUE(image.has_uuid);

  std::vector<uint8_t> bytes = readFile(ElfFixture::path());
  auto at = std::search(bytes.begin(), bytes.end(), image.uuid, image.uuid + 16);
  ASSERT_NE(at, bytes.end());
  *at ^= 0xFF;
  ml::test::TempDir dir;
  const std::string copy = (dir.path() / "other-build.so").string();
  std::ofstream(copy, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  tlcrash_elf_file_symbols file;
  EXPECT_EQ(tlcrash_nasync_elf_file_symbols_init(&file, copy.c_str(), &image), TLCRASH_EINVAL);
  EXPECT_FALSE(file.available);
  EXPECT_EQ(tlcrash_nasync_elf_file_symbols_init(&file, (dir.path() / "missing.so").c_str(), &image), TLCRASH_ENOTFOUND);
}

}  // namespace
}  // namespace ml::crash
