#include "shell/core/WindowController.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace ml::shell {

std::string WindowController::typeName() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                        &std::free);
  std::string name = status == 0 && demangled ? demangled.get() : mangled;
  // Template arguments never name a window controller; drop any, then the namespaces.
  if (auto angle = name.find('<'); angle != std::string::npos) name.erase(angle);
  if (auto colons = name.rfind("::"); colons != std::string::npos) name.erase(0, colons + 2);
  return name;
}

}  // namespace ml::shell
