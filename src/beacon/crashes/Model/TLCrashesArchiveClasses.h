#pragma once
// Lists the crash-reporting models in the keyed archive's class table; called before any stored
// crash log is read. Idempotent and thread-safe.
namespace ml::beacon {

void registerCrashesArchiveClasses();

}  // namespace ml::beacon
