#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "MachOBuilder.h"
#include "MachOFixture.h"
#include "MappedBytes.h"
#include "crashreporter/image/MachOSymbolTable.h"

namespace ml::crash {
namespace {

using test::BuilderDysymtab;
using test::BuilderSymbol;
using test::MachOBuilder;
using test::MachOFixture;
using test::MappedBytes;

struct Hit {
  uint64_t address = 0;
  std::string name;
  int calls = 0;
};

void record(uint64_t address, const char* name, void* context) {
  auto* hit = static_cast<Hit*>(context);
  hit->address = address;
  hit->name = name;
  ++hit->calls;
}

class BuiltImage {
 public:
  explicit BuiltImage(const MachOBuilder& builder) : memory_(builder.build()) {
    testing::internal::CaptureStderr();
    status_ = tlcrash_nasync_macho_init(&image_, tlcrash_async_task_self(), "built", memory_.address());
    testing::internal::GetCapturedStderr();
  }
  ~BuiltImage() { tlcrash_nasync_macho_free(&image_); }
  const tlcrash_async_macho* image() const { return &image_; }
  tlcrash_error_t status() const { return status_; }
  uint64_t at(uint64_t vmaddr) const { return memory_.address() + vmaddr; }

  std::pair<tlcrash_error_t, Hit> lookup(uint64_t vmaddr) const {
    Hit hit;
    testing::internal::CaptureStderr();
    tlcrash_error_t err = tlcrash_async_macho_find_symbol_by_pc(&image_, at(vmaddr), record, &hit);
    testing::internal::GetCapturedStderr();
    return {err, hit};
  }

 private:
  MappedBytes memory_;
  tlcrash_async_macho image_;
  tlcrash_error_t status_;
};

TEST(MachOSymbols, LinkedDylibNamesItsFunctions) {
  MachOFixture fixture("libfixture.dylib");
  tlcrash_async_macho image;
  ASSERT_EQ(tlcrash_nasync_macho_init(&image, tlcrash_async_task_self(), "lib", fixture.header()), TLCRASH_ESUCCESS);

  Hit hit;
  ASSERT_EQ(tlcrash_async_macho_find_symbol_by_pc(&image, fixture.at(0x3a4), record, &hit), TLCRASH_ESUCCESS);
  EXPECT_EQ(hit.name, "_fixture_beta");
  EXPECT_EQ(hit.address, fixture.at(0x3a0));
  // A local (non-exported) function is found through the local range.
  ASSERT_EQ(tlcrash_async_macho_find_symbol_by_pc(&image, fixture.at(0x385), record, &hit), TLCRASH_ESUCCESS);
  EXPECT_EQ(hit.name, "_fixture_local");

  uint64_t address = 0;
  ASSERT_EQ(tlcrash_async_macho_find_symbol_by_name(&image, "_fixture_gamma", &address), TLCRASH_ESUCCESS);
  EXPECT_EQ(address, fixture.at(0x3b0));
  EXPECT_EQ(tlcrash_async_macho_find_symbol_by_name(&image, "_missing", &address), TLCRASH_ENOTFOUND);
  tlcrash_nasync_macho_free(&image);
}

TEST(MachOSymbols, PcBetweenSymbolsYieldsTheLowerOne) {
  BuiltImage built(MachOBuilder().symbols({{"_b", 0x0F, 1, 0, 0x200}, {"_a", 0x0F, 1, 0, 0x100}, {"_c", 0x0F, 1, 0, 0x300}}));
  ASSERT_EQ(built.status(), TLCRASH_ESUCCESS);
  auto [err, hit] = built.lookup(0x2ff);
  ASSERT_EQ(err, TLCRASH_ESUCCESS);
  EXPECT_EQ(hit.name, "_b");
  EXPECT_EQ(hit.address, built.at(0x200));
  EXPECT_EQ(built.lookup(0xff).first, TLCRASH_ENOTFOUND);
  EXPECT_EQ(hit.calls, 1);
}

TEST(MachOSymbols, EqualValuesKeepTheEarlierEntry) {
  BuiltImage built(MachOBuilder().symbols({{"_first", 0x0F, 1, 0, 0x100}, {"_second", 0x0F, 1, 0, 0x100}}));
  EXPECT_EQ(built.lookup(0x150).second.name, "_first");
}

TEST(MachOSymbols, DebuggingAndUndefinedEntriesDoNotCount) {
  BuiltImage built(MachOBuilder().symbols({{"_real", 0x0F, 1, 0, 0x100},
                                           {"_stab", 0x2E, 1, 0, 0x180},     // N_FUN debugging entry
                                           {"_undef", 0x01, 0, 0, 0x190},    // N_UNDF | N_EXT
                                           {"_private", 0x1E, 1, 0, 0x170}}));  // N_PEXT | N_SECT counts
  EXPECT_EQ(built.lookup(0x1a0).second.name, "_private");
}

TEST(MachOSymbols, LocalWithTheGlobalsValueDoesNotReplaceIt) {
  BuiltImage built(MachOBuilder().symbols({{"_local", 0x0E, 1, 0, 0x100}, {"_global", 0x0F, 1, 0, 0x100},
                                           {"_closer_local", 0x0E, 1, 0, 0x180}},
                                          BuilderDysymtab{0, 1, 1, 1}));
  EXPECT_EQ(built.lookup(0x120).second.name, "_global");
  // _closer_local lies outside both ranges (index 2), so it is not searched.
  EXPECT_EQ(built.lookup(0x190).second.name, "_global");
}

TEST(MachOSymbols, ThumbDefinitionsReportAnOddAddress) {
  BuiltImage built(MachOBuilder().symbols({{"_thumb", 0x0F, 1, 0x0008, 0x100}}));
  auto [err, hit] = built.lookup(0x104);
  ASSERT_EQ(err, TLCRASH_ESUCCESS);
  EXPECT_EQ(hit.address, built.at(0x101));
}

TEST(MachOSymbols, ImageWithoutDysymtabHasNoRanges) {
  BuiltImage built(MachOBuilder().symbols({{"_a", 0x0F, 1, 0, 0x100}}));
  tlcrash_async_macho_symtab_reader_t reader;
  ASSERT_EQ(tlcrash_async_macho_symtab_reader_init(&reader, built.image()), TLCRASH_ESUCCESS);
  EXPECT_EQ(reader.nsyms, 1u);
  EXPECT_EQ(reader.symtab_global, nullptr);
  EXPECT_EQ(reader.nsyms_global, 0u);
  EXPECT_EQ(reader.symtab_local, nullptr);
  tlcrash_async_macho_symtab_reader_free(&reader);
}

TEST(MachOSymbols, DysymtabRangesPastTheTableAreRefused) {
  BuiltImage past(MachOBuilder().symbols({{"_a", 0x0F, 1, 0, 0x100}}, BuilderDysymtab{0, 1, 1, 1}));
  tlcrash_async_macho_symtab_reader_t reader;
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_macho_symtab_reader_init(&reader, past.image()), TLCRASH_EINVAL);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("out of range nsym=1"), std::string::npos);

  // A range whose 32-bit sum would wrap back inside the table.
  BuiltImage wrapping(MachOBuilder().symbols({{"_a", 0x0F, 1, 0, 0x100}}, BuilderDysymtab{0, 1, 0xFFFFFFFF, 2}));
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_macho_symtab_reader_init(&reader, wrapping.image()), TLCRASH_EINVAL);
  testing::internal::GetCapturedStderr();
}

TEST(MachOSymbols, MissingSymtabIsNotFound) {
  BuiltImage built{MachOBuilder()};
  tlcrash_async_macho_symtab_reader_t reader;
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_macho_symtab_reader_init(&reader, built.image()), TLCRASH_ENOTFOUND);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("could not find LC_SYMTAB load command"), std::string::npos);
}

TEST(MachOSymbols, NameRunningOffTheStringTableIsRefused) {
  BuiltImage built(MachOBuilder().symbols({{"_a", 0x0F, 1, 0, 0x100}}));
  tlcrash_async_macho_symtab_reader_t reader;
  ASSERT_EQ(tlcrash_async_macho_symtab_reader_init(&reader, built.image()), TLCRASH_ESUCCESS);
  EXPECT_STREQ(tlcrash_async_macho_symtab_reader_symbol_name(&reader, 2), "_a");
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_macho_symtab_reader_symbol_name(&reader, static_cast<uint32_t>(reader.string_table_size)), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("End of mobject reached while walking string"), std::string::npos);
  tlcrash_async_macho_symtab_reader_free(&reader);
}

TEST(MachOSymbols, ThirtyTwoBitAndSwappedTablesReadTheSame) {
  for (auto [m64, swapped] : {std::pair{false, false}, std::pair{false, true}, std::pair{true, true}}) {
    BuiltImage built(MachOBuilder(m64, swapped).symbols({{"_x", 0x0F, 1, 0, 0x100}, {"_y", 0x0F, 1, 0, 0x140}}));
    ASSERT_EQ(built.status(), TLCRASH_ESUCCESS);
    auto [err, hit] = built.lookup(0x150);
    ASSERT_EQ(err, TLCRASH_ESUCCESS) << m64 << swapped;
    EXPECT_EQ(hit.name, "_y");
    EXPECT_EQ(hit.address, built.at(0x140));
  }
}

}  // namespace
}  // namespace ml::crash
