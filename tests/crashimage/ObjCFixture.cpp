#include "ObjCFixture.h"

#include <cstring>
#include <stdexcept>

#include "crashreporter/image/MachOImage.h"
#include "crashreporter/image/MachOSymbolTable.h"

namespace ml::crash::test {

ObjCFixture::ObjCFixture() : image_("libobjcfixture.dylib") {}

uint64_t ObjCFixture::symbol(const std::string& name) const {
  tlcrash_async_macho macho;
  if (tlcrash_nasync_macho_init(&macho, tlcrash_async_task_self(), "objc", image_.header()) != TLCRASH_ESUCCESS) {
    throw std::runtime_error("cannot parse the Objective-C fixture");
  }
  uint64_t address = 0;
  tlcrash_error_t err = tlcrash_async_macho_find_symbol_by_name(&macho, name.c_str(), &address);
  tlcrash_nasync_macho_free(&macho);
  if (err != TLCRASH_ESUCCESS) throw std::runtime_error("no symbol " + name);
  return address;
}

void ObjCFixture::realize(uint64_t cls) {
  auto* data = reinterpret_cast<uint64_t*>(cls + 32);  // isa, superclass, cache, vtable, data
  rw_.push_back({1u << 31, 7, *data});
  *data = reinterpret_cast<uint64_t>(&rw_.back());
}

void ObjCFixture::realizeRootClass() {
  realize(symbol("_OBJC_CLASS_$_FixtureRoot"));
  realize(symbol("_OBJC_METACLASS_$_FixtureRoot"));
}

void ObjCFixture::renameMethod(uint64_t imp, const std::string& name) {
  names_.push_back(name);
  const uint64_t text = reinterpret_cast<uint64_t>(names_.back().c_str());
  // Method lists lie in __objc_const; find the entry (name, types, imp) whose imp matches.
  for (const char* list : {"__OBJC_$_INSTANCE_METHODS_FixtureRoot", "__OBJC_$_CLASS_METHODS_FixtureRoot"}) {
    auto* head = reinterpret_cast<uint32_t*>(symbol(list));
    auto* entries = reinterpret_cast<uint64_t*>(head + 2);
    for (uint32_t i = 0; i < head[1]; ++i) {
      if (entries[i * 3 + 2] == imp) {
        entries[i * 3] = text;
        return;
      }
    }
  }
  throw std::runtime_error("no method at that address");
}

}  // namespace ml::crash::test
