#pragma once
// Lists the analytics log types (and the typed property bag) with the keyed archive, so stored
// analytics logs can be read back. Idempotent and thread-safe; the service calls it when it is
// made, and anything reading the log store before that calls it itself.
namespace ml::beacon {

void registerAnalyticsArchiveClasses();

}  // namespace ml::beacon
