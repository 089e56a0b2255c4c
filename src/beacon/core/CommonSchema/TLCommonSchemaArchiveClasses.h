#pragma once
// Lists the common-schema models among the types a keyed archive may decode (TLArchiveClasses),
// so stored common-schema logs read back. Called where the Common Collector path is set up,
// before any stored log is loaded; calling it again does nothing. Thread-safe.
namespace ml::beacon {

void registerCommonSchemaArchiveClasses();

}  // namespace ml::beacon
