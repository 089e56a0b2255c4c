#include "crashreporter/SymbolMemo.h"

namespace ml::crash {

// Crash time.
SymbolMemo::SymbolMemo(SymbolSource* inner) : inner_(inner) {
  for (Entry& entry : entries_) entry.valid = false;
}

// Crash time.
bool SymbolMemo::lookup(uint64_t pc, uint32_t strategy, tlcrash_symbol* symbol) {
  // Return addresses of one function differ in their low bits; mixing in the higher ones spreads
  // the functions of different images.
  Entry& entry = entries_[(pc ^ (pc >> 12) ^ (pc >> 24)) % kEntries];
  if (!entry.valid || entry.pc != pc || entry.strategy != strategy) {
    tlcrash_symbol found{};
    entry.valid = true;
    entry.pc = pc;
    entry.strategy = strategy;
    entry.found = inner_->lookup(pc, strategy, &found);
    if (entry.found) {
      size_t n = 0;
      for (; found.name != nullptr && n + 1 < kNameCapacity && found.name[n] != '\0'; ++n) entry.name[n] = found.name[n];
      entry.name[n] = '\0';
      entry.start_address = found.start_address;
    }
  }
  if (!entry.found) return false;
  symbol->name = entry.name;
  symbol->start_address = entry.start_address;
  return true;
}

}  // namespace ml::crash
