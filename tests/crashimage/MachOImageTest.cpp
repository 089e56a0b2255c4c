#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "MachOBuilder.h"
#include "MachOFixture.h"
#include "MappedBytes.h"
#include "crashreporter/image/MachOFormat.h"
#include "crashreporter/image/MachOImage.h"

namespace ml::crash {
namespace {

using test::MachOBuilder;
using test::MachOFixture;
using test::MappedBytes;

// Parses built bytes mapped into this process; returns the status and keeps stderr.
struct Parsed {
  explicit Parsed(const std::vector<uint8_t>& bytes, const char* name = "built") : memory(bytes) {
    testing::internal::CaptureStderr();
    status = tlcrash_nasync_macho_init(&image, tlcrash_async_task_self(), name, memory.address());
    diagnostics = testing::internal::GetCapturedStderr();
  }
  ~Parsed() { tlcrash_nasync_macho_free(&image); }
  MappedBytes memory;
  tlcrash_async_macho image;
  tlcrash_error_t status;
  std::string diagnostics;
};

TEST(MachOImage, ParsesALinkedDylib) {
  MachOFixture fixture("libfixture.dylib");
  tlcrash_async_macho image;
  ASSERT_EQ(tlcrash_nasync_macho_init(&image, tlcrash_async_task_self(), fixture.path().c_str(), fixture.header()),
            TLCRASH_ESUCCESS);
  EXPECT_TRUE(image.m64);
  EXPECT_EQ(image.header_size, 32u);
  EXPECT_EQ(image.byteorder, &tlcrash_async_byteorder_direct);
  EXPECT_EQ(tlcrash_async_macho_cpu_type(&image), macho::kCpuTypeX86_64);
  EXPECT_EQ(image.text_vmaddr, 0u);
  EXPECT_EQ(image.text_size, 0x2000u);
  EXPECT_EQ(image.vmaddr_slide, fixture.slide());
  EXPECT_EQ(image.name, fixture.path());
  uint8_t uuid[16];
  EXPECT_TRUE(tlcrash_async_macho_uuid(&image, uuid));
  tlcrash_nasync_macho_free(&image);
}

TEST(MachOImage, ExecutableAboveItsCopyHasANegativeSlide) {
  MachOFixture fixture("fixture_exe");
  tlcrash_async_macho image;
  ASSERT_EQ(tlcrash_nasync_macho_init(&image, tlcrash_async_task_self(), "exe", fixture.header()), TLCRASH_ESUCCESS);
  EXPECT_EQ(image.text_vmaddr, 0x100000000u);
  EXPECT_EQ(image.vmaddr_slide, static_cast<int64_t>(fixture.header() - 0x100000000u));
  EXPECT_EQ(image.vmaddr_slide, fixture.slide());
  tlcrash_nasync_macho_free(&image);
}

TEST(MachOImage, ContainsTheHeaderButNotTheEndOfText) {
  MachOFixture fixture("libfixture.dylib");
  tlcrash_async_macho image;
  ASSERT_EQ(tlcrash_nasync_macho_init(&image, tlcrash_async_task_self(), "lib", fixture.header()), TLCRASH_ESUCCESS);
  EXPECT_TRUE(tlcrash_async_macho_contains_address(&image, fixture.header()));
  EXPECT_TRUE(tlcrash_async_macho_contains_address(&image, fixture.header() + 0x1FFF));
  EXPECT_FALSE(tlcrash_async_macho_contains_address(&image, fixture.header() + 0x2000));
  EXPECT_FALSE(tlcrash_async_macho_contains_address(&image, fixture.header() - 1));
  tlcrash_nasync_macho_free(&image);
}

TEST(MachOImage, MapsSegmentsAndSections) {
  MachOFixture fixture("libfixture.dylib");
  tlcrash_async_macho image;
  ASSERT_EQ(tlcrash_nasync_macho_init(&image, tlcrash_async_task_self(), "lib", fixture.header()), TLCRASH_ESUCCESS);

  tlcrash_async_macho_mapped_segment_t data;
  ASSERT_EQ(tlcrash_async_macho_map_segment(&image, "__DATA", &data), TLCRASH_ESUCCESS);
  EXPECT_EQ(data.mobj.target_address, fixture.at(0x2000));
  EXPECT_EQ(data.fileoff, 0x2000u);
  uint32_t global = 0;
  ASSERT_EQ(tlcrash_async_mobject_read_uint32(&data.mobj, image.byteorder, fixture.at(0x2000), 0, &global), 0);
  EXPECT_EQ(global, 7u);  // fixture_global_value
  tlcrash_async_macho_mapped_segment_free(&data);

  tlcrash_async_mobject section;
  ASSERT_EQ(tlcrash_async_macho_map_section(&image, "__TEXT", "__unwind_info", &section), TLCRASH_ESUCCESS);
  uint32_t version = 0;
  ASSERT_EQ(tlcrash_async_mobject_read_uint32(&section, image.byteorder, section.target_address, 0, &version), 0);
  EXPECT_EQ(version, 1u);
  tlcrash_async_mobject_free(&section);

  EXPECT_EQ(tlcrash_async_macho_map_section(&image, "__TEXT", "__nothing", &section), TLCRASH_ENOTFOUND);
  EXPECT_EQ(tlcrash_async_macho_map_section(&image, "__NOSEG", "__text", &section), TLCRASH_ENOTFOUND);
  EXPECT_EQ(tlcrash_async_macho_map_segment(&image, "__NOSEG", &data), TLCRASH_ENOTFOUND);
  tlcrash_nasync_macho_free(&image);
}

TEST(MachOImage, IteratesCommandsByType) {
  MachOFixture fixture("libfixture.dylib");
  tlcrash_async_macho image;
  ASSERT_EQ(tlcrash_nasync_macho_init(&image, tlcrash_async_task_self(), "lib", fixture.header()), TLCRASH_ESUCCESS);
  uint32_t total = 0, segments = 0;
  for (const void* c = tlcrash_async_macho_next_command(&image, nullptr); c != nullptr;
       c = tlcrash_async_macho_next_command(&image, c)) {
    ++total;
  }
  for (const void* c = tlcrash_async_macho_next_command_type(&image, nullptr, macho::kLcSegment64); c != nullptr;
       c = tlcrash_async_macho_next_command_type(&image, c, macho::kLcSegment64)) {
    ++segments;
  }
  EXPECT_EQ(total, image.ncmds);
  EXPECT_EQ(segments, 3u);
  EXPECT_NE(tlcrash_async_macho_find_command(&image, macho::kLcSymtab), nullptr);
  EXPECT_EQ(tlcrash_async_macho_find_command(&image, 0x7777), nullptr);
  EXPECT_NE(tlcrash_async_macho_find_segment_cmd(&image, "__LINKEDIT"), nullptr);
  EXPECT_EQ(tlcrash_async_macho_find_segment_cmd(&image, "__LINK"), nullptr);
  tlcrash_nasync_macho_free(&image);
}

TEST(MachOImage, Reads32BitAndByteSwappedImages) {
  Parsed thin(MachOBuilder(false).cpu(7, 3).segment("__DATA", 0x1000, 0x1000, 0x1000, 0x1000, {{"__data", 0x1000, 16}}).build());
  ASSERT_EQ(thin.status, TLCRASH_ESUCCESS) << thin.diagnostics;
  EXPECT_FALSE(thin.image.m64);
  EXPECT_EQ(thin.image.header_size, 28u);
  EXPECT_EQ(tlcrash_async_macho_cpu_type(&thin.image), 7u);
  tlcrash_async_mobject section;
  ASSERT_EQ(tlcrash_async_macho_map_section(&thin.image, "__DATA", "__data", &section), TLCRASH_ESUCCESS);
  EXPECT_EQ(section.length, 16u);
  tlcrash_async_mobject_free(&section);

  Parsed swapped(MachOBuilder(true, true).cpu(0x0100000C, 2).textSize(0x3000).build());
  ASSERT_EQ(swapped.status, TLCRASH_ESUCCESS) << swapped.diagnostics;
  EXPECT_EQ(swapped.image.byteorder, &tlcrash_async_byteorder_swapped);
  EXPECT_EQ(tlcrash_async_macho_cpu_type(&swapped.image), 0x0100000Cu);
  EXPECT_EQ(tlcrash_async_macho_cpu_subtype(&swapped.image), 2u);
  EXPECT_EQ(swapped.image.text_size, 0x3000u);
}

TEST(MachOImage, RefusesUniversalAndUnknownMagic) {
  Parsed fat(MachOBuilder().magic(0xCAFEBABE).build(), "fat.dylib");
  EXPECT_EQ(fat.status, TLCRASH_EINVAL);
  EXPECT_NE(fat.diagnostics.find("called with an unsupported universal Mach-O archive in: fat.dylib"), std::string::npos)
      << fat.diagnostics;
  Parsed unknown(MachOBuilder().magic(0x12345678).build(), "odd");
  EXPECT_EQ(unknown.status, TLCRASH_EINVAL);
  EXPECT_NE(unknown.diagnostics.find("Unknown Mach-O magic: 0x12345678 in: odd"), std::string::npos);
}

TEST(MachOImage, ImageWithoutTextIsRefused) {
  Parsed parsed(MachOBuilder().withoutText().segment("__DATA", 0, 0x1000, 0, 0x1000).build());
  EXPECT_EQ(parsed.status, TLCRASH_EINVAL);
  EXPECT_NE(parsed.diagnostics.find("Could not find __TEXT segment!"), std::string::npos);
  EXPECT_EQ(parsed.image.load_cmds.mapping_address, 0u);  // unmapped on failure
}

TEST(MachOImage, ShortSegmentCommandIsRefused) {
  Parsed parsed(MachOBuilder().withoutText().command(macho::kLcSegment64, std::vector<uint8_t>(20, 0)).build());
  EXPECT_EQ(parsed.status, TLCRASH_EINVAL);
  EXPECT_NE(parsed.diagnostics.find("LC_SEGMENT command was too short"), std::string::npos) << parsed.diagnostics;
}

TEST(MachOImage, UnreadableHeaderIsAnInternalError) {
  MappedBytes memory({}, 1);
  tlcrash_async_macho image;
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_nasync_macho_init(&image, tlcrash_async_task_self(), "gone", memory.address() + test::pageSize()),
            TLCRASH_EINTERNAL);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Failed to read Mach-O header from 0x"), std::string::npos);
}

TEST(MachOImage, TinyCmdsizeEndsTheIteration) {
  Parsed parsed(MachOBuilder().command(0x7777, {}, 4).command(0x8888, {}).build());
  ASSERT_EQ(parsed.status, TLCRASH_ESUCCESS) << parsed.diagnostics;
  const void* text = tlcrash_async_macho_next_command(&parsed.image, nullptr);
  const void* tiny = tlcrash_async_macho_next_command(&parsed.image, text);
  ASSERT_NE(tiny, nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_macho_next_command(&parsed.image, tiny), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Found invalid 0-length cmdsize in LC_CMD"), std::string::npos);
}

TEST(MachOImage, CommandRunningPastTheCommandsEndsTheIteration) {
  Parsed parsed(MachOBuilder().command(0x7777, std::vector<uint8_t>(8, 0), 0x1000).build());
  ASSERT_EQ(parsed.status, TLCRASH_ESUCCESS) << parsed.diagnostics;
  const void* text = tlcrash_async_macho_next_command(&parsed.image, nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_macho_next_command(&parsed.image, text), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Failed to map LC_CMD at address"), std::string::npos);
}

TEST(MachOImage, TooFewCommandBytesYieldNoCommands) {
  Parsed parsed(MachOBuilder().sizeofcmds(4).build());
  EXPECT_EQ(parsed.status, TLCRASH_EINVAL);  // nothing to find __TEXT in
  EXPECT_NE(parsed.diagnostics.find("Mach-O sizeofcmds is less than sizeof(struct load_command)"), std::string::npos);
}

TEST(MachOImage, SectionTableOutsideTheCommandsIsInvalid) {
  // A segment claiming more sections than its command holds.
  std::vector<uint8_t> body(64, 0);
  std::memcpy(body.data(), "__DATA", 6);
  uint32_t nsects = 50;
  std::memcpy(body.data() + 56, &nsects, 4);
  Parsed parsed(MachOBuilder().command(macho::kLcSegment64, body).build());
  ASSERT_EQ(parsed.status, TLCRASH_ESUCCESS) << parsed.diagnostics;
  tlcrash_async_mobject section;
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_macho_map_section(&parsed.image, "__DATA", "__data", &section), TLCRASH_EINVAL);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Section table entry outside of expected range; searching for (__DATA,__data)"),
            std::string::npos);
}

}  // namespace
}  // namespace ml::crash
