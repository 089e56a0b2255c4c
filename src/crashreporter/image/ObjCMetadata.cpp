#include "crashreporter/image/ObjCMetadata.h"

#include <cerrno>
#include <sys/mman.h>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncString.h"
#include "crashreporter/image/MachOFormat.h"

namespace ml::crash {
namespace {

constexpr uint32_t kRwRealized = 1u << 31;       // the runtime has set the class up
constexpr uint32_t kRwCopiedRo = 1u << 27;       // its read-only data was copied at run time
constexpr uint32_t kSmallMethodList = 0x80000000u;  // relative method lists: not read
constexpr uint32_t kMethodEntsizeMask = 0x0000FFFCu;
constexpr uint32_t kObjC1NoMethodArray = 0x4000;
constexpr uint64_t kMaxObjC1MethodLists = 4096;
constexpr uint64_t kMaxObjC1Methods = 1u << 16;
constexpr uint64_t kClassCacheBytes = 2 * kObjCClassCacheSlots * sizeof(uint64_t);

using parse_cb = void (*)(bool is_class_method, tlcrash_async_macho_string* class_name,
                          tlcrash_async_macho_string* method_name, uint64_t imp, void* context);

// One walk over an image's metadata.
struct Walk {
  const tlcrash_async_macho* image;
  tlcrash_async_objc_cache* cache;
  parse_cb callback;
  void* context;

  uint64_t pointerSize() const { return image->m64 ? 8 : 4; }

  // A pointer-sized word of a checked local record.
  uint64_t word(const void* record, uint64_t index) const {
    const auto* p = static_cast<const uint8_t*>(record) + index * pointerSize();
    if (image->m64) {
      uint64_t v;
      tlcrash_async_memcpy(&v, p, 8);
      return image->byteorder->swap64(v);
    }
    uint32_t v;
    tlcrash_async_memcpy(&v, p, 4);
    return image->byteorder->swap32(v);
  }

  uint32_t u32(const void* record, uint64_t offset) const {
    uint32_t v;
    tlcrash_async_memcpy(&v, static_cast<const uint8_t*>(record) + offset, 4);
    return image->byteorder->swap32(v);
  }

  tlcrash_error_t taskRead(uint64_t address, void* out, size_t length) const {
    return tlcrash_async_task_memcpy(image->task, address, 0, out, length);
  }
};

// Class cache: (data pointer / 4) mod slots; a taken slot keeps its first entry.
// Crash time.
void classCacheSet(tlcrash_async_objc_cache* cache, uint64_t key, uint64_t value) {
  if (cache->class_cache_size == 0) {
    void* block = ::mmap(nullptr, kClassCacheBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
      TLCRASH_DIAG("vm_allocate failed with error %x, the class cache could not be initialized and ObjC parsing will "
                   "be substantially slower", errno);
      return;
    }
    cache->class_cache_keys = static_cast<uint64_t*>(block);
    cache->class_cache_values = cache->class_cache_keys + kObjCClassCacheSlots;
    cache->class_cache_size = kObjCClassCacheSlots;
  }
  const uint64_t slot = (key / 4) % cache->class_cache_size;
  if (cache->class_cache_keys[slot] == 0) {
    cache->class_cache_keys[slot] = key;
    cache->class_cache_values[slot] = value;
  }
}

// Crash time.
bool classCacheGet(const tlcrash_async_objc_cache* cache, uint64_t key, uint64_t* value) {
  if (cache->class_cache_size == 0 || key == 0) return false;
  const uint64_t slot = (key / 4) % cache->class_cache_size;
  if (cache->class_cache_keys[slot] != key) return false;
  *value = cache->class_cache_values[slot];
  return true;
}

// Crash time.
void unmapSections(tlcrash_async_objc_cache* cache) {
  if (cache->objc_const_mapped) tlcrash_async_mobject_free(&cache->objc_const);
  if (cache->class_list_mapped) tlcrash_async_mobject_free(&cache->class_list);
  if (cache->category_list_mapped) tlcrash_async_mobject_free(&cache->category_list);
  if (cache->objc_data_mapped) tlcrash_async_mobject_free(&cache->objc_data);
  cache->objc_const_mapped = cache->class_list_mapped = cache->category_list_mapped = cache->objc_data_mapped = false;
  cache->last_image = nullptr;
}

// ---- legacy form (version 1; 32-bit fields throughout) ----

// Crash time.
tlcrash_error_t parseObjC1MethodList(const Walk& w, uint64_t list, tlcrash_async_macho_string* class_name,
                                     bool is_class_method) {
  uint32_t head[2];  // obsolete, count
  tlcrash_error_t err = w.taskRead(list, head, sizeof(head));
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("tlcrash_async_task_memcpy at 0x%llx error %d", static_cast<unsigned long long>(list), err);
    return err;
  }
  uint64_t count = w.image->byteorder->swap32(head[1]);
  if (count > kMaxObjC1Methods) count = kMaxObjC1Methods;
  for (uint64_t i = 0; i < count; ++i) {
    uint32_t method[3];  // name, types, imp
    const uint64_t at = list + 8 + i * 12;
    err = w.taskRead(at, method, sizeof(method));
    if (err != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("tlcrash_async_task_memcpy at 0x%llx error %d", static_cast<unsigned long long>(at), err);
      return err;
    }
    tlcrash_async_macho_string method_name;
    tlcrash_async_macho_string_init(&method_name, w.image->task, w.image->byteorder->swap32(method[0]));
    w.callback(is_class_method, class_name, &method_name, w.image->byteorder->swap32(method[2]), w.context);
    tlcrash_async_macho_string_free(&method_name);
  }
  return TLCRASH_ESUCCESS;
}

// Crash time.
tlcrash_error_t parseObjC1Class(const Walk& w, uint64_t address, bool is_class_method, uint32_t* isa) {
  uint32_t cls[10];  // isa, super_class, name, version, info, instance_size, ivars, methodLists, cache, protocols
  tlcrash_error_t err = w.taskRead(address, cls, sizeof(cls));
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("tlcrash_async_task_memcpy at 0x%llx error %d", static_cast<unsigned long long>(address), err);
    return err;
  }
  const tlcrash_async_byteorder_t* bo = w.image->byteorder;
  *isa = bo->swap32(cls[0]);
  const uint32_t info = bo->swap32(cls[4]);
  const uint32_t lists = bo->swap32(cls[7]);
  if (lists == 0) return TLCRASH_ESUCCESS;

  tlcrash_async_macho_string class_name;
  tlcrash_async_macho_string_init(&class_name, w.image->task, bo->swap32(cls[2]));
  if ((info & kObjC1NoMethodArray) != 0) {
    err = parseObjC1MethodList(w, lists, &class_name, is_class_method);
  } else {
    for (uint64_t k = 0; k < kMaxObjC1MethodLists; ++k) {
      uint32_t list;
      err = w.taskRead(lists + k * 4, &list, 4);
      if (err != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("tlcrash_async_task_memcpy at 0x%llx error %d", static_cast<unsigned long long>(lists + k * 4), err);
        break;
      }
      list = bo->swap32(list);
      if (list == 0 || list == 0xFFFFFFFFu) break;
      err = parseObjC1MethodList(w, list, &class_name, is_class_method);
      if (err != TLCRASH_ESUCCESS) break;
    }
  }
  tlcrash_async_macho_string_free(&class_name);
  return err;
}

// Crash time.
tlcrash_error_t parseObjC1(const Walk& w) {
  tlcrash_async_mobject modules;
  tlcrash_error_t err = tlcrash_async_macho_map_section(w.image, "__OBJC", "__module_info", &modules);
  if (err == TLCRASH_ENOTFOUND) return err;
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("tl_async_macho_map_section(%p, %s, %s, %p) failure %d", static_cast<const void*>(w.image), "__OBJC",
                 "__module_info", static_cast<void*>(&modules), err);
    return err;
  }
  const tlcrash_async_byteorder_t* bo = w.image->byteorder;
  err = TLCRASH_ESUCCESS;
  for (uint64_t off = 0; off + 16 <= modules.length && err == TLCRASH_ESUCCESS; off += 16) {
    uint32_t symtab = 0;
    tlcrash_async_mobject_read_uint32(&modules, bo, modules.target_address, static_cast<int64_t>(off + 12), &symtab);
    if (symtab == 0) continue;
    uint8_t head[12];  // sel_ref_cnt, refs (u32), cls_def_cnt, cat_def_cnt (u16)
    err = w.taskRead(symtab, head, sizeof(head));
    if (err != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("tlcrash_async_task_memcpy at 0x%llx error %d", static_cast<unsigned long long>(symtab), err);
      break;
    }
    uint16_t classes;
    tlcrash_async_memcpy(&classes, head + 8, 2);
    classes = bo->swap16(classes);
    for (uint32_t c = 0; c < classes && err == TLCRASH_ESUCCESS; ++c) {
      uint32_t cls;
      err = w.taskRead(symtab + 12 + c * 4u, &cls, 4);
      if (err != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("tlcrash_async_task_memcpy at 0x%llx error %d", static_cast<unsigned long long>(symtab + 12 + c * 4u), err);
        break;
      }
      uint32_t isa = 0;
      err = parseObjC1Class(w, bo->swap32(cls), false, &isa);
      if (err != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("tl_async_parse_obj1_class error %d while parsing class", err);
        break;
      }
      uint32_t meta_isa = 0;
      err = parseObjC1Class(w, isa, true, &meta_isa);
      if (err != TLCRASH_ESUCCESS) TLCRASH_DIAG("tl_async_parse_obj1_class error %d while parsing metaclass", err);
    }
  }
  tlcrash_async_mobject_free(&modules);
  return err;
}

// ---- modern form (version 2) ----

// Maps one section into `mobj`. A section that is absent is not an error for the lists (an image
// without categories has no category list); the class and category lists are looked for in
// __DATA_CONST too, where current linkers put them.
// Crash time.
tlcrash_error_t mapSection(const Walk& w, const char* segment, const char* section, tlcrash_async_mobject* mobj,
                           bool* mapped) {
  tlcrash_error_t err = tlcrash_async_macho_map_section(w.image, segment, section, mobj);
  if (err == TLCRASH_ESUCCESS) *mapped = true;
  else if (err != TLCRASH_ENOTFOUND) {
    TLCRASH_DIAG("tl_async_macho_map_section(%s, %s, %s, %p) failure %d", w.image->name.c_str(), segment, section,
                 static_cast<void*>(mobj), err);
  }
  return err;
}

// Crash time.
tlcrash_error_t mapObjC2Sections(const Walk& w) {
  tlcrash_async_objc_cache* cache = w.cache;
  if (cache->last_image == w.image) return TLCRASH_ESUCCESS;
  unmapSections(cache);

  tlcrash_error_t err = mapSection(w, "__DATA", "__objc_const", &cache->objc_const, &cache->objc_const_mapped);
  if (err == TLCRASH_ESUCCESS) {
    for (const char* segment : {"__DATA", "__DATA_CONST"}) {
      err = mapSection(w, segment, "__objc_classlist", &cache->class_list, &cache->class_list_mapped);
      if (err != TLCRASH_ENOTFOUND) break;
    }
    if (err == TLCRASH_ENOTFOUND) err = TLCRASH_ESUCCESS;
  }
  if (err == TLCRASH_ESUCCESS) {
    for (const char* segment : {"__DATA", "__DATA_CONST"}) {
      err = mapSection(w, segment, "__objc_catlist", &cache->category_list, &cache->category_list_mapped);
      if (err != TLCRASH_ENOTFOUND) break;
    }
    if (err == TLCRASH_ENOTFOUND) err = TLCRASH_ESUCCESS;
  }
  if (err == TLCRASH_ESUCCESS) {
    err = mapSection(w, "__DATA", "__objc_data", &cache->objc_data, &cache->objc_data_mapped);
    if (err == TLCRASH_ENOTFOUND) {
      TLCRASH_DIAG("tl_async_macho_map_section(%s, %s, %s, %p) failure %d", w.image->name.c_str(), "__DATA",
                   "__objc_data", static_cast<void*>(&cache->objc_data), err);
      err = TLCRASH_ESUCCESS;  // without it no class can be validated; categories of other images remain
    }
  }
  if (err != TLCRASH_ESUCCESS) {
    if (err != TLCRASH_ENOTFOUND) TLCRASH_DIAG("Unable to map relevant sections for ObjC2 class parsing, error %d", err);
    unmapSections(cache);
    return err;
  }
  cache->last_image = w.image;
  return TLCRASH_ESUCCESS;
}

// Crash time.
const void* inSection(const tlcrash_async_objc_cache* cache, const tlcrash_async_mobject& mobj, bool mapped,
                      uint64_t address, uint64_t length) {
  (void)cache;
  if (!mapped) return nullptr;
  return tlcrash_async_mobject_remap_address(&mobj, address, 0, length);
}

struct ClassData {
  uint8_t ro[72];  // read-only class data (72 bytes in 64-bit images, 40 in 32-bit ones)
  tlcrash_async_macho_string name;
};

// Read-only data and name of a class record (local, checked). TLCRASH_ENOTFOUND when the runtime
// has not set the class up.
// Crash time.
tlcrash_error_t classData(const Walk& w, const void* cls, ClassData* out) {
  tlcrash_async_objc_cache* cache = w.cache;
  const uint64_t ro_size = w.image->m64 ? 72 : 40;
  const uint64_t data = w.word(cls, 4) & ~uint64_t{3};
  uint64_t ro = 0;
  if (classCacheGet(cache, data, &ro)) {
    const void* local = inSection(cache, cache->objc_const, cache->objc_const_mapped, ro, ro_size);
    if (local != nullptr) tlcrash_async_memcpy(out->ro, local, ro_size);
    else if (w.taskRead(ro, out->ro, ro_size) != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("Failed to read validated class_ro data at 0x%llx", static_cast<unsigned long long>(ro));
      return TLCRASH_EINVALID_DATA;
    }
  } else {
    uint8_t rw[16];  // flags, version (u32), ro pointer
    const uint64_t rw_size = w.image->m64 ? 16 : 12;
    tlcrash_error_t err = w.taskRead(data, rw, rw_size);
    if (err != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("tlcrash_async_task_memcpy at 0x%llx error %d", static_cast<unsigned long long>(data), err);
      return TLCRASH_EINVALID_DATA;
    }
    const uint32_t flags = w.u32(rw, 0);
    if ((flags & kRwRealized) == 0) return TLCRASH_ENOTFOUND;
    ro = w.word(rw + 8, 0);
    const void* local = (flags & kRwCopiedRo) == 0
                            ? inSection(cache, cache->objc_const, cache->objc_const_mapped, ro, ro_size)
                            : nullptr;
    if (local != nullptr) {
      tlcrash_async_memcpy(out->ro, local, ro_size);
    } else if (w.taskRead(ro, out->ro, ro_size) != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("tlcrash_async_task_memcpy at 0x%llx returned NULL", static_cast<unsigned long long>(ro));
      return TLCRASH_EINVALID_DATA;
    }
    classCacheSet(cache, data, ro);
  }
  // name: after flags, instanceStart, instanceSize (and a reserved word in 64-bit images) and ivarLayout.
  const uint64_t name = w.image->m64 ? w.word(out->ro, 3) : w.word(out->ro, 4);
  tlcrash_async_macho_string_init(&out->name, w.image->task, name);
  return TLCRASH_ESUCCESS;
}

// Crash time.
uint64_t baseMethods(const Walk& w, const ClassData& data) {
  return w.image->m64 ? w.word(data.ro, 4) : w.word(data.ro, 5);
}

// Crash time.
tlcrash_error_t parseMethodList(const Walk& w, tlcrash_async_macho_string* class_name, bool is_class_method,
                                uint64_t list) {
  tlcrash_async_objc_cache* cache = w.cache;
  const void* head = inSection(cache, cache->objc_const, cache->objc_const_mapped, list, 8);
  if (head == nullptr) {
    TLCRASH_DIAG("tlcrash_async_mobject_remap_address in objCConstMobj failed to map methods pointer 0x%llx",
                 static_cast<unsigned long long>(list));
    return TLCRASH_EINVALID_DATA;
  }
  const uint32_t entsize_and_flags = w.u32(head, 0);
  const uint32_t count = w.u32(head, 4);
  const uint64_t entsize = entsize_and_flags & kMethodEntsizeMask;
  // Relative method lists, and entries too small for name, types and imp, are not read.
  if ((entsize_and_flags & kSmallMethodList) != 0 || entsize < 3 * w.pointerSize()) return TLCRASH_ESUCCESS;

  const uint64_t length = static_cast<uint64_t>(count) * entsize;
  const void* entries = tlcrash_async_mobject_remap_address(&cache->objc_const, list, 8, length);
  if (entries == nullptr) {
    TLCRASH_DIAG("tlcrash_async_mobject_remap_address at 0x%llx length %llu returned NULL",
                 static_cast<unsigned long long>(list + 8), static_cast<unsigned long long>(length));
    return TLCRASH_EINVALID_DATA;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const auto* entry = static_cast<const uint8_t*>(entries) + i * entsize;
    tlcrash_async_macho_string method_name;
    tlcrash_async_macho_string_init(&method_name, w.image->task, w.word(entry, 0));
    w.callback(is_class_method, class_name, &method_name, w.word(entry, 2), w.context);
    tlcrash_async_macho_string_free(&method_name);
  }
  return TLCRASH_ESUCCESS;
}

// Crash time.
tlcrash_error_t parseClass(const Walk& w, const void* cls, bool is_class_method) {
  ClassData data;
  tlcrash_error_t err = classData(w, cls, &data);
  if (err != TLCRASH_ESUCCESS) return err;
  const uint64_t methods = baseMethods(w, data);
  if (methods != 0) err = parseMethodList(w, &data.name, is_class_method, methods);
  tlcrash_async_macho_string_free(&data.name);
  return err;
}

// Crash time.
tlcrash_error_t parseObjC2(const Walk& w) {
  tlcrash_error_t err = mapObjC2Sections(w);
  if (err != TLCRASH_ESUCCESS) return err;
  tlcrash_async_objc_cache* cache = w.cache;
  const tlcrash_async_byteorder_t* bo = w.image->byteorder;
  const uint64_t ptr = w.pointerSize();
  const uint64_t class_size = 5 * ptr;  // isa, superclass, cache, vtable, data

  auto readListEntry = [&](const tlcrash_async_mobject& list, uint64_t index, uint64_t* value) {
    const int64_t offset = static_cast<int64_t>(index * ptr);
    if (w.image->m64) return tlcrash_async_mobject_read_uint64(&list, bo, list.target_address, offset, value);
    uint32_t v = 0;
    tlcrash_error_t e = tlcrash_async_mobject_read_uint32(&list, bo, list.target_address, offset, &v);
    *value = v;
    return e;
  };

  if (cache->class_list_mapped) {
    const uint64_t count = cache->class_list.length / ptr;
    for (uint64_t i = 0; i < count; ++i) {
      uint64_t address;
      if (readListEntry(cache->class_list, i, &address) != TLCRASH_ESUCCESS) return TLCRASH_EINVALID_DATA;
      const void* cls = inSection(cache, cache->objc_data, cache->objc_data_mapped, address, class_size);
      if (cls == nullptr) {
        TLCRASH_DIAG("tlcrash_async_mobject_remap_address in objcDataMobj for pointer %llx returned NULL",
                     static_cast<unsigned long long>(address));
        return TLCRASH_EINVALID_DATA;
      }
      err = parseClass(w, cls, false);
      if (err == TLCRASH_ENOTFOUND) continue;  // not set up: neither the class nor its metaclass
      if (err != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("tl_async_objc_parse_objc2_class error %d while parsing class", err);
        return err;
      }
      uint64_t isa = w.word(cls, 0);
      if (tlcrash_async_objc_supports_nonptr_isa(tlcrash_async_macho_cpu_type(w.image)) && (isa & 1) != 0) {
        isa &= TLCRASH_ASYNC_OBJC_ISA_NONPTR_CLASS_MASK;
      }
      const void* meta = inSection(cache, cache->objc_data, cache->objc_data_mapped, isa, class_size);
      if (meta == nullptr) {
        TLCRASH_DIAG("tlcrash_async_mobject_remap_address in objcDataMobj for pointer %llx returned NULL",
                     static_cast<unsigned long long>(isa));
        return TLCRASH_EINVALID_DATA;
      }
      err = parseClass(w, meta, true);
      if (err != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("tl_async_objc_parse_objc2_class error %d while parsing metaclass", err);
        return err;
      }
    }
  }

  if (cache->category_list_mapped) {
    const uint64_t count = cache->category_list.length / ptr;
    const uint64_t category_size = 6 * ptr;  // name, cls, instanceMethods, classMethods, protocols, properties
    for (uint64_t i = 0; i < count; ++i) {
      uint64_t address;
      if (readListEntry(cache->category_list, i, &address) != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("tlcrash_async_mobject_remap_address in catMobj for pointer %llx returned NULL",
                     static_cast<unsigned long long>(cache->category_list.target_address + i * ptr));
        return TLCRASH_EINVALID_DATA;
      }
      const void* category = inSection(cache, cache->objc_const, cache->objc_const_mapped, address, category_size);
      if (category == nullptr) {
        TLCRASH_DIAG("tlcrash_async_mobject_remap_address in objcDataMobj for pointer %llx returned NULL",
                     static_cast<unsigned long long>(address));
        return TLCRASH_EINVALID_DATA;
      }
      // The category's class may live in another image: then it is read from the task.
      const uint64_t class_address = w.word(category, 1);
      uint8_t copy[40];
      const void* cls = inSection(cache, cache->objc_data, cache->objc_data_mapped, class_address, class_size);
      if (cls == nullptr) {
        if (w.taskRead(class_address, copy, class_size) != TLCRASH_ESUCCESS) {
          TLCRASH_DIAG("tlcrash_async_task_memcpy() for pointer %llx returned NULL",
                       static_cast<unsigned long long>(class_address));
          return TLCRASH_EINVALID_DATA;
        }
        cls = copy;
      }
      ClassData data;
      err = classData(w, cls, &data);
      if (err == TLCRASH_ENOTFOUND) continue;
      if (err == TLCRASH_ESUCCESS) {
        const uint64_t instance_methods = w.word(category, 2);
        const uint64_t class_methods = w.word(category, 3);
        if (instance_methods != 0) err = parseMethodList(w, &data.name, false, instance_methods);
        if (err == TLCRASH_ESUCCESS && class_methods != 0) err = parseMethodList(w, &data.name, true, class_methods);
        tlcrash_async_macho_string_free(&data.name);
      }
      if (err != TLCRASH_ESUCCESS && err != TLCRASH_ENOTFOUND) {
        TLCRASH_DIAG("tl_async_objc_parse_objc2_class error %d while parsing class", err);
        return err;
      }
    }
  }
  // A walk that skipped classes the runtime had not set up is still complete.
  cache->got_objc2_info = true;
  return TLCRASH_ESUCCESS;
}

// Crash time.
tlcrash_error_t parseObjC(const Walk& w) {
  if (w.cache == nullptr) return TLCRASH_EACCESS;
  if (!w.cache->got_objc2_info) {
    tlcrash_error_t err = parseObjC1(w);
    if (err != TLCRASH_ENOTFOUND) return err;
  }
  return parseObjC2(w);
}

struct BestImp {
  uint64_t pc;
  bool found = false;
  uint64_t imp = 0;
};

// Crash time.
void keepBest(bool, tlcrash_async_macho_string*, tlcrash_async_macho_string*, uint64_t imp, void* context) {
  auto* best = static_cast<BestImp*>(context);
  if (imp <= best->pc && (!best->found || imp > best->imp)) {
    best->found = true;
    best->imp = imp;
  }
}

struct Report {
  uint64_t imp;
  bool reported = false;
  tlcrash_async_objc_found_method_cb callback;
  void* context;
};

// Crash time.
void reportFirst(bool is_class_method, tlcrash_async_macho_string* class_name, tlcrash_async_macho_string* method_name,
                 uint64_t imp, void* context) {
  auto* report = static_cast<Report*>(context);
  if (report->reported || imp != report->imp) return;
  report->reported = true;
  report->callback(is_class_method, class_name, method_name, imp, report->context);
}

}  // namespace

// Crash time.
tlcrash_error_t tlcrash_async_objc_cache_init(tlcrash_async_objc_cache* cache) {
  *cache = tlcrash_async_objc_cache{};
  return TLCRASH_ESUCCESS;
}

// Crash time.
void tlcrash_async_objc_cache_free(tlcrash_async_objc_cache* cache) {
  unmapSections(cache);
  if (cache->class_cache_size != 0) ::munmap(cache->class_cache_keys, kClassCacheBytes);
  *cache = tlcrash_async_objc_cache{};
}

// Crash time.
bool tlcrash_async_objc_supports_nonptr_isa(uint32_t cpu_type) { return cpu_type == macho::kCpuTypeArm64; }

// Crash time.
tlcrash_error_t tlcrash_async_objc_find_method(const tlcrash_async_macho* image, tlcrash_async_objc_cache* cache,
                                               uint64_t pc, tlcrash_async_objc_found_method_cb callback, void* context) {
  BestImp best{pc};
  tlcrash_error_t err = parseObjC(Walk{image, cache, keepBest, &best});
  if (err == TLCRASH_ENOTFOUND) return err;
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("tl_async_objc_parse(%p, 0x%llx, %p, %p) failure %d", static_cast<const void*>(image),
                 static_cast<unsigned long long>(pc), reinterpret_cast<void*>(callback), context, err);
    return err;
  }
  if (!best.found) return TLCRASH_ENOTFOUND;
  Report report{best.imp, false, callback, context};
  return parseObjC(Walk{image, cache, reportFirst, &report});
}

}  // namespace ml::crash
