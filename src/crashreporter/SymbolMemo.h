#pragma once
// Remembers the answers of a symbol source for one report. The writer asks for the symbol of the
// same pc several times (each thread is walked to size its messages, to fit the report under its
// limit and to write it), and a lookup may read the image's file: asking once per pc keeps the
// report's write time close to that of a report without symbols.
//
// Crash time: async-signal-safe (fixed table, no allocation, no locks). The object is large;
// crash paths keep it in static storage. The name it returns lives until the next lookup.
#include <cstddef>
#include <cstdint>

#include "crashreporter/CrashSources.h"

namespace ml::crash {

class SymbolMemo final : public SymbolSource {
 public:
  static constexpr size_t kEntries = 1024;  // direct-mapped by pc
  static constexpr size_t kNameCapacity = 256;

  explicit SymbolMemo(SymbolSource* inner);

  bool lookup(uint64_t pc, uint32_t strategy, tlcrash_symbol* symbol) override;

 private:
  struct Entry {
    bool valid;
    bool found;
    uint32_t strategy;
    uint64_t pc;
    uint64_t start_address;
    char name[kNameCapacity];
  };

  SymbolSource* inner_;
  Entry entries_[kEntries];
};

}  // namespace ml::crash
