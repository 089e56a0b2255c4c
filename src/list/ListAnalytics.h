#pragma once
// Usage events of the list windows, sent through the application's usage-events service. Without
// an application delegate (benchmarks, some tests) nothing is sent. Any thread.
#include <map>
#include <string>

namespace ml::list {

void trackUsageEvent(const std::string& name, const std::map<std::string, std::string>& properties = {});

}  // namespace ml::list
