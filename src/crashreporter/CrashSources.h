#pragma once
// What the writer reads from the crashed process at crash time: its threads and their stacks,
// its loaded images, and (optionally) symbols. The capture paths adapt the frame cursor, the image
// list and the symbol lookup to these interfaces; tests hand in fixed data.
//
// Every implementation runs at crash time while the rest of the process is stopped: it must be
// async-signal-safe (no allocation, no locks, system calls only) and deterministic, because the
// writer walks the same thread or image several times (once to size a message, once to write it)
// and the lengths it writes are only true when every walk yields the same frames.
#include <cstdint>

namespace ml::crash {

enum class tlcrash_walk_step {
  kFrame,  // a frame was produced
  kEnd,    // the stack has no more frames
  kError,  // the walk cannot go on; the reason text comes with it
};

class ThreadSource {
 public:

  // Threads to report, in the order the kernel lists them. A thread that cannot be walked (the
  // calling thread when no register state of it was captured) is not counted.
  virtual uint32_t threadCount() = 0;
  virtual bool isCrashed(uint32_t thread) = 0;

  // Positions a walk of `thread` before its innermost frame. Returns null, or a static text
  // saying why the walk cannot start (the thread is then written without frames).
  virtual const char* beginWalk(uint32_t thread) = 0;
  // Steps to the next frame; the first call yields the innermost frame. On kFrame stores the
  // instruction pointer; on kError stores a static reason text.
  virtual tlcrash_walk_step nextFrame(uint64_t* pc, const char** error) = 0;
  // The registers of the current frame (asked of the crashed thread's innermost frame only).
  virtual uint32_t registerCount() = 0;
  virtual const char* registerName(uint32_t index) = 0;
  // false (with a static reason text) when the register cannot be read.
  virtual bool registerValue(uint32_t index, uint64_t* value, const char** error) = 0;
  virtual void endWalk() = 0;

 protected:
  // Not deleted through this interface: the crash path owns no heap, so no deleting destructor
  // (which would call operator delete) is ever emitted for it.
  ~ThreadSource() = default;
};

struct tlcrash_binary_image {
  uint64_t base_address;   // load address of the image's header
  uint64_t size;           // size of its text segment
  const char* name;        // its path; null is written as ""
  const uint8_t* uuid;     // 16 bytes, or null when the image has none
  uint32_t cpu_type;       // Mach numbering
  uint32_t cpu_subtype;
};

class ImageSource {
 public:
  // Marks the image list as being read, so loader callbacks leave it alone until endReading().
  virtual void beginReading() = 0;
  virtual void endReading() = 0;
  // Positions before the first image.
  virtual void rewind() = 0;
  // The next image in list order; false at the end.
  virtual bool next(tlcrash_binary_image* image) = 0;

 protected:
  // Never deleted through this interface (see ThreadSource).
  ~ImageSource() = default;
};

struct tlcrash_symbol {
  const char* name;        // valid until the next lookup
  uint64_t start_address;
};

class SymbolSource {
 public:
  // The symbol that holds `pc` under the writer's symbolication strategy; false when none is found.
  virtual bool lookup(uint64_t pc, uint32_t strategy, tlcrash_symbol* symbol) = 0;

 protected:
  // Never deleted through this interface (see ThreadSource).
  ~SymbolSource() = default;
};

}  // namespace ml::crash
