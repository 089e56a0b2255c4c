#include "crashreporter/MessageWriters.h"

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncFormat.h"
#include "crashreporter/SignalNames.h"

namespace ml::crash {
namespace {

// Crash time.
size_t packString(tlcrash_async_file* file, uint32_t field, const char* value) {
  return tlcrash_writer_pack(file, field, TLCRASH_TYPE_STRING, value != nullptr ? value : "");
}

// Crash time.
size_t packUint64(tlcrash_async_file* file, uint32_t field, uint64_t value) {
  return tlcrash_writer_pack(file, field, TLCRASH_TYPE_UINT64, &value);
}

// Crash time.
size_t packUint32(tlcrash_async_file* file, uint32_t field, uint32_t value) {
  return tlcrash_writer_pack(file, field, TLCRASH_TYPE_UINT32, &value);
}

// Crash time.
size_t packBool(tlcrash_async_file* file, uint32_t field, bool value) {
  return tlcrash_writer_pack(file, field, TLCRASH_TYPE_BOOL, &value);
}

// Crash time.
size_t packEnum(tlcrash_async_file* file, uint32_t field, uint32_t value) {
  return tlcrash_writer_pack(file, field, TLCRASH_TYPE_ENUM, &value);
}

// Crash time.
size_t writeRegister(tlcrash_async_file* file, const char* name, uint64_t value) {
  return packString(file, 1, name) + packUint64(file, 2, value);
}

}  // namespace

// Crash time.
size_t tlcrash_writer_write_report_info(tlcrash_async_file* file, const tlcrash_log_writer* writer,
                                        const tlcrash_process_identity& identity) {
  size_t n = packBool(file, 1, writer->user_requested);
  tlcrash_bytes uuid{identity.uuid.size(), identity.uuid.data()};
  n += tlcrash_writer_pack(file, 2, TLCRASH_TYPE_BYTES, &uuid);
  return n;
}

// Crash time.
size_t tlcrash_writer_write_system_info(tlcrash_async_file* file, const tlcrash_log_writer* writer, int64_t timestamp) {
  size_t n = packEnum(file, 1, kOperatingSystemLinux);
  n += packString(file, 2, writer->os_version.c_str());
  if (writer->os_build) n += packString(file, 5, writer->os_build->c_str());
  n += packEnum(file, 3, kArchitectureX86_64);
  n += tlcrash_writer_pack(file, 4, TLCRASH_TYPE_INT64, &timestamp);
  return n;
}

// Crash time.
size_t tlcrash_writer_write_processor_info(tlcrash_async_file* file, uint64_t type, uint64_t subtype) {
  return packEnum(file, 1, kTypeEncodingMach) + packUint64(file, 2, type) + packUint64(file, 3, subtype);
}

// Crash time.
size_t tlcrash_writer_write_machine_info(tlcrash_async_file* file, const tlcrash_log_writer* writer) {
  size_t n = 0;
  if (writer->model) n += packString(file, 1, writer->model->c_str());
  n += tlcrash_writer_pack_message(file, 2, [&](tlcrash_async_file* f) {
    return tlcrash_writer_write_processor_info(f, static_cast<uint64_t>(writer->cpu_type),
                                               static_cast<uint64_t>(writer->cpu_subtype));
  });
  n += packUint32(file, 3, writer->physical_cpu_count);
  n += packUint32(file, 4, writer->logical_cpu_count);
  return n;
}

// Crash time.
size_t tlcrash_writer_write_app_info(tlcrash_async_file* file, const tlcrash_log_writer* writer) {
  size_t n = packString(file, 1, writer->app_identifier.c_str());
  n += packString(file, 2, writer->app_version.c_str());
  if (writer->app_marketing_version) n += packString(file, 3, writer->app_marketing_version->c_str());
  return n;
}

// Crash time.
size_t tlcrash_writer_write_process_info(tlcrash_async_file* file, const tlcrash_log_writer* writer,
                                         const tlcrash_process_identity& identity) {
  size_t n = 0;
  if (writer->process_name) n += packString(file, 1, writer->process_name->c_str());
  n += packUint32(file, 2, identity.process_id);
  if (writer->process_path) n += packString(file, 3, writer->process_path->c_str());
  const std::optional<std::string>& parent_name = identity.forked ? writer->process_name : writer->parent_process_name;
  if (parent_name) n += packString(file, 4, parent_name->c_str());
  n += packUint32(file, 5, identity.parent_process_id);
  n += packBool(file, 6, writer->native);
  n += packUint64(file, 7, static_cast<uint64_t>(identity.start_time));
  return n;
}

// Crash time.
size_t tlcrash_writer_write_symbol(tlcrash_async_file* file, const tlcrash_symbol& symbol) {
  return packString(file, 1, symbol.name) + packUint64(file, 2, symbol.start_address);
}

// Crash time.
size_t tlcrash_writer_write_thread_frame(tlcrash_async_file* file, const tlcrash_log_writer* writer,
                                         SymbolSource* symbols, uint64_t pc, bool return_address) {
  size_t n = packUint64(file, 3, pc);
  tlcrash_symbol symbol{};
  const uint64_t lookup_pc = return_address && pc > 0 ? pc - 1 : pc;
  // One lookup serves both the sizing and the writing of the symbol, so the length written
  // before it always matches what follows.
  if (writer->symbol_strategy != 0 && symbols != nullptr &&
      symbols->lookup(lookup_pc, writer->symbol_strategy, &symbol)) {
    n += tlcrash_writer_pack_message(file, 6, [&](tlcrash_async_file* f) { return tlcrash_writer_write_symbol(f, symbol); });
  }
  return n;
}

// Crash time.
size_t tlcrash_writer_write_thread(tlcrash_async_file* file, const tlcrash_log_writer* writer, ThreadSource& threads,
                                   SymbolSource* symbols, uint32_t thread, uint32_t thread_number, uint32_t frame_limit) {
  if (frame_limit > kMaxFramesPerStack) frame_limit = kMaxFramesPerStack;
  bool crashed = threads.isCrashed(thread);
  size_t n = packUint32(file, 1, thread_number);
  n += packBool(file, 3, crashed);

  const char* error = threads.beginWalk(thread);
  if (error != nullptr) {
    if (file != nullptr) TLCRASH_DIAG("An error occured initializing the frame cursor: %s", error);
    threads.endWalk();
    return n;
  }

  uint64_t pc = 0;
  tlcrash_walk_step step = threads.nextFrame(&pc, &error);
  if (step == tlcrash_walk_step::kFrame && crashed) {
    uint32_t count = threads.registerCount();
    for (uint32_t r = 0; r < count; ++r) {
      uint64_t value = 0;
      const char* readError = nullptr;
      if (!threads.registerValue(r, &value, &readError)) {
        if (file != nullptr) TLCRASH_DIAG("Could not fetch register %i value: %s", static_cast<int>(r), readError);
        value = 0;
      }
      const char* name = threads.registerName(r);
      n += tlcrash_writer_pack_message(file, 4, [&](tlcrash_async_file* f) { return writeRegister(f, name, value); });
    }
  }

  uint32_t frames = 0;
  while (step == tlcrash_walk_step::kFrame && frames < frame_limit) {
    n += tlcrash_writer_pack_message(file, 2, [&](tlcrash_async_file* f) {
      return tlcrash_writer_write_thread_frame(f, writer, symbols, pc, frames > 0);
    });
    if (++frames == frame_limit) break;
    step = threads.nextFrame(&pc, &error);
  }

  if (file != nullptr) {
    if (step == tlcrash_walk_step::kError) {
      TLCRASH_DIAG("Terminated stack walking early: %s", error != nullptr ? error : "unknown error");
    } else if (step == tlcrash_walk_step::kFrame) {
      TLCRASH_DIAG("Terminated stack walking early: frame limit of %u reached", frame_limit);
    }
  }
  threads.endWalk();
  return n;
}

// Crash time.
size_t tlcrash_writer_write_binary_image(tlcrash_async_file* file, const tlcrash_binary_image& image) {
  size_t n = packUint64(file, 2, image.size);
  n += packUint64(file, 1, image.base_address);
  n += packString(file, 3, image.name);
  if (image.uuid != nullptr) {
    tlcrash_bytes uuid{16, image.uuid};
    n += tlcrash_writer_pack(file, 4, TLCRASH_TYPE_BYTES, &uuid);
  }
  n += tlcrash_writer_pack_message(file, 5, [&](tlcrash_async_file* f) {
    return tlcrash_writer_write_processor_info(f, image.cpu_type, image.cpu_subtype);
  });
  return n;
}

// Crash time.
size_t tlcrash_writer_write_exception(tlcrash_async_file* file, const tlcrash_log_writer* writer, SymbolSource* symbols,
                                      uint32_t frame_limit) {
  const auto& exception = writer->uncaught_exception;
  size_t n = packString(file, 1, exception.name.c_str());
  n += packString(file, 2, exception.reason.c_str());
  if (frame_limit > kMaxFramesPerStack) frame_limit = kMaxFramesPerStack;
  size_t count = exception.return_addresses.size();
  if (count > frame_limit) count = frame_limit;
  for (size_t i = 0; i < count; ++i) {
    uint64_t pc = exception.return_addresses[i];
    n += tlcrash_writer_pack_message(file, 3, [&](tlcrash_async_file* f) {
      // Every address of a recorded exception stack is a return address.
      return tlcrash_writer_write_thread_frame(f, writer, symbols, pc, true);
    });
  }
  return n;
}

// Crash time.
size_t tlcrash_writer_write_mach_signal(tlcrash_async_file* file, const tlcrash_log_mach_signal_info* mach) {
  size_t n = packUint64(file, 1, static_cast<uint64_t>(static_cast<int64_t>(mach->type)));
  for (uint32_t i = 0; i < mach->code_count; ++i) n += packUint64(file, 2, static_cast<uint64_t>(mach->code[i]));
  return n;
}

// Crash time.
size_t tlcrash_writer_write_signal(tlcrash_async_file* file, const tlcrash_log_signal_info* siginfo) {
  const tlcrash_log_bsd_signal_info* bsd = siginfo->bsd_info;
  char nameBuffer[kSignalFallbackNameSize];
  char codeBuffer[kSignalFallbackNameSize];

  const char* name = tlcrash_async_signal_signame(bsd->signo);
  if (name == nullptr) {
    if (file != nullptr) TLCRASH_DIAG("Warning -- unhandled signal number (signo=%d). This is a bug.", bsd->signo);
    tlcrash_async_format(nameBuffer, sizeof(nameBuffer), "#%d", bsd->signo);
    name = nameBuffer;
  }
  const char* code = tlcrash_async_signal_sigcode(bsd->signo, bsd->code);
  if (code == nullptr) {
    if (file != nullptr) {
      TLCRASH_DIAG("Warning -- unhandled signal sicode (signo=%d, code=%d). This is a bug.", bsd->signo, bsd->code);
    }
    tlcrash_async_format(codeBuffer, sizeof(codeBuffer), "#%d", bsd->code);
    code = codeBuffer;
  }

  size_t n = packString(file, 1, name);
  n += packString(file, 2, code);
  n += packUint64(file, 3, bsd->address);
  if (siginfo->mach_info != nullptr) {
    n += tlcrash_writer_pack_message(file, 4, [&](tlcrash_async_file* f) {
      return tlcrash_writer_write_mach_signal(f, siginfo->mach_info);
    });
  }
  return n;
}

}  // namespace ml::crash
