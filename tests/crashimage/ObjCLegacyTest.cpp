// The legacy (version 1) runtime metadata of 32-bit images: modules, their symbol tables, classes
// with method-list arrays or a single list, and metaclasses. Built by hand below 2 GiB so that the
// image's 32-bit pointers reach it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "MachOBuilder.h"
#include "MappedBytes.h"
#include "crashreporter/image/ObjCMetadata.h"

namespace ml::crash {
namespace {

using test::MachOBuilder;
using test::MappedBytes;

class LegacyImage {
 public:
  LegacyImage() {
    std::vector<uint8_t> bytes =
        MachOBuilder(false).cpu(7, 3).segment("__OBJC", 0x1000, 0x1000, 0x1000, 0x1000, {{"__module_info", 0x1000, 16}}).build();
    bytes.resize(0x2000);
    memory_ = std::make_unique<MappedBytes>(bytes, 0, true);
    base_ = static_cast<uint32_t>(memory_->address());

    put(0x1000, {7, 16, 0, at(0x1100)});                              // module: version, size, name, symtab
    put(0x1100, {0, 0});                                               // sel_ref_cnt, refs
    put16(0x1108, 1);                                                  // cls_def_cnt
    put16(0x110A, 0);                                                  // cat_def_cnt
    put(0x110C, {at(0x1200)});                                         // the class
    put(0x1200, {at(0x1300), 0, at(0x1800), 0, 0, 0, 0, at(0x1400), 0, 0});  // class: method-list array
    put(0x1300, {0, 0, at(0x1800), 0, 0x4000, 0, 0, at(0x1500), 0, 0});       // metaclass: one list
    put(0x1400, {at(0x1600), 0xFFFFFFFF});
    put(0x1600, {0, 2, at(0x1810), 0, at(0x100), at(0x1820), 0, at(0x200)});  // -run, -stop
    put(0x1500, {0, 1, at(0x1830), 0, at(0x180)});                             // +shared
    text(0x1800, "Legacy");
    text(0x1810, "run");
    text(0x1820, "stop");
    text(0x1830, "shared");

    status_ = tlcrash_nasync_macho_init(&image_, tlcrash_async_task_self(), "legacy", memory_->address());
  }
  ~LegacyImage() { tlcrash_nasync_macho_free(&image_); }

  tlcrash_error_t status() const { return status_; }
  const tlcrash_async_macho* image() const { return &image_; }
  uint32_t at(uint32_t offset) const { return base_ + offset; }
  void put(uint32_t offset, std::initializer_list<uint32_t> words) {
    std::memcpy(memory_->data() + offset, words.begin(), words.size() * 4);
  }

 private:
  void put16(uint32_t offset, uint16_t value) { std::memcpy(memory_->data() + offset, &value, 2); }
  void text(uint32_t offset, const char* s) { std::memcpy(memory_->data() + offset, s, std::strlen(s) + 1); }

  std::unique_ptr<MappedBytes> memory_;
  uint32_t base_ = 0;
  tlcrash_async_macho image_;
  tlcrash_error_t status_;
};

struct Found {
  std::string name;
  uint64_t imp = 0;
};

void describe(bool is_class_method, tlcrash_async_macho_string* class_name, tlcrash_async_macho_string* method_name,
              uint64_t imp, void* context) {
  auto* found = static_cast<Found*>(context);
  const char *cls = nullptr, *method = nullptr;
  tlcrash_async_macho_string_get_pointer(class_name, &cls);
  tlcrash_async_macho_string_get_pointer(method_name, &method);
  found->name = std::string(is_class_method ? "+" : "-") + cls + " " + method;
  found->imp = imp;
}

TEST(ObjCLegacy, FindsInstanceAndClassMethods) {
  LegacyImage legacy;
  ASSERT_EQ(legacy.status(), TLCRASH_ESUCCESS);
  tlcrash_async_objc_cache cache;
  tlcrash_async_objc_cache_init(&cache);
  Found found;
  ASSERT_EQ(tlcrash_async_objc_find_method(legacy.image(), &cache, legacy.at(0x1A0), describe, &found), TLCRASH_ESUCCESS);
  EXPECT_EQ(found.name, "+Legacy shared");
  EXPECT_EQ(found.imp, legacy.at(0x180));
  ASSERT_EQ(tlcrash_async_objc_find_method(legacy.image(), &cache, legacy.at(0x210), describe, &found), TLCRASH_ESUCCESS);
  EXPECT_EQ(found.name, "-Legacy stop");
  ASSERT_EQ(tlcrash_async_objc_find_method(legacy.image(), &cache, legacy.at(0x17F), describe, &found), TLCRASH_ESUCCESS);
  EXPECT_EQ(found.name, "-Legacy run");
  EXPECT_EQ(tlcrash_async_objc_find_method(legacy.image(), &cache, legacy.at(0xFF), describe, &found), TLCRASH_ENOTFOUND);
  EXPECT_FALSE(cache.got_objc2_info);  // the modern form was never needed
  tlcrash_async_objc_cache_free(&cache);
}

TEST(ObjCLegacy, UnreadableClassFailsTheWalk) {
  LegacyImage legacy;
  legacy.put(0x110C, {16});  // the class pointer leads nowhere
  tlcrash_async_objc_cache cache;
  tlcrash_async_objc_cache_init(&cache);
  Found found;
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_objc_find_method(legacy.image(), &cache, legacy.at(0x1A0), describe, &found), TLCRASH_ENOTFOUND);
  std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_NE(diagnostics.find("tl_async_parse_obj1_class error 8 while parsing class"), std::string::npos) << diagnostics;
  tlcrash_async_objc_cache_free(&cache);
}

TEST(ObjCLegacy, WithoutACacheNothingIsRead) {
  LegacyImage legacy;
  Found found;
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_async_objc_find_method(legacy.image(), nullptr, legacy.at(0x1A0), describe, &found), TLCRASH_EACCESS);
  testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace ml::crash
