#include <gtest/gtest.h>

#include <string>

#include "ElfFixture.h"
#include "MachOFixture.h"
#include "ObjCFixture.h"
#include "crashreporter/image/ImageList.h"
#include "crashreporter/image/ImageSymbolSource.h"
#include "crashreporter/image/LoadedImages.h"
#include "crashreporter/image/SymbolLookup.h"

extern "C" __attribute__((noinline, used)) int crashimage_test_probe(int x) { return x * 7 + 1; }

namespace ml::crash {
namespace {

using test::ElfFixture;
using test::MachOFixture;
using test::ObjCFixture;

struct Hit {
  uint64_t address = 0;
  std::string name;
};

void record(uint64_t address, const char* name, void* context) {
  auto* hit = static_cast<Hit*>(context);
  hit->address = address;
  hit->name = name;
}

class SymbolLookupTest : public testing::Test {
 protected:
  SymbolLookupTest() {
    tlcrash_nasync_image_list_init(&list, tlcrash_async_task_self());
    tlcrash_async_symbol_cache_init(&cache);
  }
  ~SymbolLookupTest() override {
    tlcrash_async_symbol_cache_free(&cache);
    tlcrash_nasync_image_list_free(&list);
  }

  const tlcrash_async_image* add(uint64_t header, const char* name) {
    EXPECT_EQ(tlcrash_nasync_image_list_append(&list, header, name), TLCRASH_ESUCCESS);
    tlcrash_async_image_list_set_reading(&list, true);
    const tlcrash_async_image* found = nullptr;
    for (auto* image = tlcrash_async_image_list_next(&list, nullptr); image != nullptr;
         image = tlcrash_async_image_list_next(&list, image)) {
      found = image;
    }
    tlcrash_async_image_list_set_reading(&list, false);
    return found;
  }

  std::pair<tlcrash_error_t, Hit> find(const tlcrash_async_image* image, uint32_t strategy, uint64_t pc,
                                       std::string* diagnostics = nullptr) {
    Hit hit;
    testing::internal::CaptureStderr();
    tlcrash_error_t err = tlcrash_async_find_symbol(image, strategy, &cache, pc, record, &hit);
    std::string text = testing::internal::GetCapturedStderr();
    if (diagnostics != nullptr) *diagnostics = text;
    return {err, hit};
  }

  tlcrash_async_image_list list;
  tlcrash_async_symbol_cache cache;
};

TEST_F(SymbolLookupTest, SymbolTableStrategyNamesMachOFunctions) {
  MachOFixture dylib("libfixture.dylib");
  auto* image = add(dylib.header(), "lib");
  auto [err, hit] = find(image, TLCRASH_ASYNC_SYMBOL_STRATEGY_SYMBOL_TABLE, dylib.at(0x394));
  ASSERT_EQ(err, TLCRASH_ESUCCESS);
  EXPECT_EQ(hit.name, "_fixture_alpha");
  EXPECT_EQ(hit.address, dylib.at(0x390));
}

TEST_F(SymbolLookupTest, StrategyZeroFindsNothingAndSaysWhy) {
  MachOFixture dylib("libfixture.dylib");
  auto* image = add(dylib.header(), "lib");
  std::string diagnostics;
  EXPECT_EQ(find(image, TLCRASH_ASYNC_SYMBOL_STRATEGY_NONE, dylib.at(0x394), &diagnostics).first, TLCRASH_ENOTFOUND);
  EXPECT_NE(diagnostics.find("Could not find symbol for PC"), std::string::npos);
  EXPECT_NE(diagnostics.find("tl_async_macho_find_symbol error 8, tl_async_objc_find_method error 8"), std::string::npos);
}

TEST_F(SymbolLookupTest, ElfImagesAnswerTheSymbolTableStrategyOnly) {
  ElfFixture elf;
  auto* image = add(elf.header(), ElfFixture::path().c_str());
  const uint64_t second = elf.function("crashimage_fixture_second");
  auto [err, hit] = find(image, TLCRASH_ASYNC_SYMBOL_STRATEGY_ALL, second + 2);
  ASSERT_EQ(err, TLCRASH_ESUCCESS);
  EXPECT_EQ(hit.name, "crashimage_fixture_second");
  EXPECT_EQ(find(image, TLCRASH_ASYNC_SYMBOL_STRATEGY_OBJC, second + 2).first, TLCRASH_ENOTFOUND);
}

TEST_F(SymbolLookupTest, ClassesNotSetUpAreSkipped) {
  ObjCFixture objc;
  auto* image = add(objc.image().header(), "objc");
  const uint64_t imp = objc.symbol("-[FixtureRoot instanceValue]");
  EXPECT_EQ(find(image, TLCRASH_ASYNC_SYMBOL_STRATEGY_OBJC, imp + 4).first, TLCRASH_ENOTFOUND);
}

TEST_F(SymbolLookupTest, MethodsAreNamedWithTheirClass) {
  ObjCFixture objc;
  objc.realizeRootClass();
  auto* image = add(objc.image().header(), "objc");

  const uint64_t instance = objc.symbol("-[FixtureRoot instanceValue]");
  auto [err, hit] = find(image, TLCRASH_ASYNC_SYMBOL_STRATEGY_OBJC, instance + 4);
  ASSERT_EQ(err, TLCRASH_ESUCCESS);
  EXPECT_EQ(hit.name, "-[FixtureRoot instanceValue]");
  EXPECT_EQ(hit.address, instance);

  const uint64_t cls = objc.symbol("+[FixtureRoot classValue]");
  EXPECT_EQ(find(image, TLCRASH_ASYNC_SYMBOL_STRATEGY_OBJC, cls + 1).second.name, "+[FixtureRoot classValue]");
  const uint64_t other = objc.symbol("-[FixtureRoot otherValue:]");
  EXPECT_EQ(find(image, TLCRASH_ASYNC_SYMBOL_STRATEGY_OBJC, other).second.name, "-[FixtureRoot otherValue:]");

  // Category methods are named after the class they extend.
  const uint64_t category = objc.symbol("-[FixtureRoot(Extra) categoryValue]");
  EXPECT_EQ(find(image, TLCRASH_ASYNC_SYMBOL_STRATEGY_OBJC, category + 2).second.name, "-[FixtureRoot categoryValue]");
  const uint64_t category_class = objc.symbol("+[FixtureRoot(Extra) categoryClassValue]");
  EXPECT_EQ(find(image, TLCRASH_ASYNC_SYMBOL_STRATEGY_OBJC, category_class).second.name,
            "+[FixtureRoot categoryClassValue]");
}

TEST_F(SymbolLookupTest, MethodWinsATieWithTheSymbolTable) {
  ObjCFixture objc;
  objc.realizeRootClass();
  auto* image = add(objc.image().header(), "objc");
  const uint64_t category = objc.symbol("-[FixtureRoot(Extra) categoryValue]");
  EXPECT_EQ(find(image, TLCRASH_ASYNC_SYMBOL_STRATEGY_SYMBOL_TABLE, category + 2).second.name,
            "-[FixtureRoot(Extra) categoryValue]");
  EXPECT_EQ(find(image, TLCRASH_ASYNC_SYMBOL_STRATEGY_ALL, category + 2).second.name, "-[FixtureRoot categoryValue]");
}

TEST_F(SymbolLookupTest, RepeatedLookupsAnswerTheSameAcrossImages) {
  ObjCFixture objc;
  objc.realizeRootClass();
  MachOFixture dylib("libfixture.dylib");
  auto* objc_image = add(objc.image().header(), "objc");
  auto* lib_image = add(dylib.header(), "lib");
  const uint64_t instance = objc.symbol("-[FixtureRoot instanceValue]");
  for (int round = 0; round < 2; ++round) {  // the second round answers from the class cache
    EXPECT_EQ(find(objc_image, TLCRASH_ASYNC_SYMBOL_STRATEGY_ALL, instance + 4).second.name, "-[FixtureRoot instanceValue]");
    EXPECT_EQ(find(lib_image, TLCRASH_ASYNC_SYMBOL_STRATEGY_ALL, dylib.at(0x3a4)).second.name, "_fixture_beta");
  }
  EXPECT_EQ(cache.class_cache_size, kObjCClassCacheSlots);
}

TEST_F(SymbolLookupTest, LongMethodNamesAreCutTo255Bytes) {
  ObjCFixture objc;
  objc.realizeRootClass();
  const uint64_t instance = objc.symbol("-[FixtureRoot instanceValue]");
  objc.renameMethod(instance, std::string(300, 'm'));
  auto* image = add(objc.image().header(), "objc");
  const std::string name = find(image, TLCRASH_ASYNC_SYMBOL_STRATEGY_OBJC, instance).second.name;
  EXPECT_EQ(name.size(), 255u);
  EXPECT_EQ(name.rfind("-[FixtureRoot mmm", 0), 0u);
  EXPECT_EQ(name.back(), 'm');  // the closing bracket went first
}

TEST_F(SymbolLookupTest, SourceFindsTheImageAndKeepsTheName) {
  tlcrash_nasync_image_list_sync_loaded(&list);
  ImageSymbolSource source(&list, &cache);
  tlcrash_symbol symbol{};
  const auto probe = reinterpret_cast<uint64_t>(&crashimage_test_probe);
  testing::internal::CaptureStderr();
  ASSERT_TRUE(source.lookup(probe + 1, TLCRASH_ASYNC_SYMBOL_STRATEGY_SYMBOL_TABLE, &symbol));
  EXPECT_STREQ(symbol.name, "crashimage_test_probe");
  EXPECT_EQ(symbol.start_address, probe);
  EXPECT_FALSE(source.lookup(probe, TLCRASH_ASYNC_SYMBOL_STRATEGY_NONE, &symbol));
  EXPECT_FALSE(source.lookup(16, TLCRASH_ASYNC_SYMBOL_STRATEGY_SYMBOL_TABLE, &symbol));  // in no image
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(list.list.readerCount(), 0);
}

TEST_F(SymbolLookupTest, SourceNamesFunctionsOfImagesLoadedSinceTheSync) {
  tlcrash_nasync_image_list_sync_loaded(&list);
  ElfFixture elf;  // loaded after the sync: found through the loader's link map
  ImageSymbolSource source(&list, &cache);
  tlcrash_symbol symbol{};
  const uint64_t first = elf.function("crashimage_fixture_first");
  ASSERT_TRUE(source.lookup(first + 1, TLCRASH_ASYNC_SYMBOL_STRATEGY_SYMBOL_TABLE, &symbol));
  EXPECT_STREQ(symbol.name, "crashimage_fixture_first");

  ImageSymbolSource listed_only(&list, &cache, false);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(listed_only.lookup(first + 1, TLCRASH_ASYNC_SYMBOL_STRATEGY_SYMBOL_TABLE, &symbol));
  testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace ml::crash
