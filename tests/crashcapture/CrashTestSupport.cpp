#include "CrashTestSupport.h"

#include <csignal>

namespace ml::crash::test {

void resetCrashSignals() {
  struct sigaction fallback{};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  for (int signo : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT}) ::sigaction(signo, &fallback, nullptr);
}

void CrashTest::SetUp() { sandbox_ = std::make_unique<ml::test::XdgSandbox>(); }

}  // namespace ml::crash::test
