// Encrypted values are read back from the log database and the settings file. Any text or bytes
// must decrypt to a value or to nothing: never read past the input, never crash.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "beacon/core/TLEncrypter.h"
#include "beacon/core/TLLogger.h"
#include "platform/dispatch/ManualClock.h"
#include "platform/foundation/Preferences.h"

namespace {

// The key store and the settings live in a private temporary folder for the whole run.
struct Sandbox {
  std::filesystem::path root;
  ml::dispatch::ManualClock clock;
  std::unique_ptr<ml::foundation::Preferences> preferences;
  std::unique_ptr<ml::beacon::TLUserDefaults> settings;
  std::unique_ptr<ml::beacon::TLEncrypter> encrypter;

  Sandbox() {
    char pattern[] = "/tmp/ml-decrypt-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    root = pattern;
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    ml::beacon::TLLogger::setCurrentLogLevel(ml::beacon::TLLogLevel::none);
    preferences = std::make_unique<ml::foundation::Preferences>(root / "prefs.plist");
    settings = std::make_unique<ml::beacon::TLUserDefaults>(*preferences, clock);
    encrypter = std::make_unique<ml::beacon::TLEncrypter>(ml::security::RandomSource::system(), *settings, clock);
  }
  // Runs at exit (libFuzzer ends through exit()), so no run leaves its folder behind.
  ~Sandbox() {
    encrypter.reset();
    settings.reset();
    preferences.reset();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Sandbox sandbox;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)sandbox.encrypter->decryptString(text);
  (void)sandbox.encrypter->decryptData({data, size});
  return 0;
}
