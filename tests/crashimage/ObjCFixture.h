#pragma once
// The Objective-C fixture dylib loaded into this process, with what the runtime would do at
// start-up done by hand on request: a class is "set up" by giving it read-write class data
// (flags with the realized bit, pointing at its read-only data), as the runtime does when it
// first uses the class.
#include <cstdint>
#include <deque>
#include <string>

#include "MachOFixture.h"

namespace ml::crash::test {

class ObjCFixture {
 public:
  ObjCFixture();

  const MachOFixture& image() const { return image_; }
  // Sets up the root class and its metaclass.
  void realizeRootClass();
  // Run-time address of a symbol of the fixture (its symbol table, read with the file).
  uint64_t symbol(const std::string& name) const;
  // Points the name of the method whose implementation is `imp` at `name` (kept alive here).
  void renameMethod(uint64_t imp, const std::string& name);

 private:
  struct ReadWriteData {
    uint32_t flags;
    uint32_t version;
    uint64_t ro;
  };
  void realize(uint64_t cls);

  MachOFixture image_;
  std::deque<ReadWriteData> rw_;
  std::deque<std::string> names_;
};

}  // namespace ml::crash::test
