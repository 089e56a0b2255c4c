#pragma once
// Stateless helpers of the telemetry client, grouped as the client uses them: the library record,
// the application environment, string operations and property validation. (Files, dates and the
// application state have their own headers: TLUtilityFile.h, TLUtilityDate.h,
// TLUtilityApplication.h.) Everything here is thread-safe.
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ml::beacon {

// A validated or to-be-validated map of string properties; enumerated in key order.
using TLStringProperties = std::map<std::string, std::string>;

class TLUtility {
 public:
  TLUtility() = delete;

  // --- Library record (kept in its own ELF section, see TLSdkRecord.h)
  static std::string sdkName();
  static std::string sdkVersion();

  // --- Environment
  static constexpr int kAppEnvironmentOther = 99;
  // Always "other": there is no app store or test-flight channel on this platform.
  static int currentAppEnvironment() { return kAppEnvironmentOther; }
  // No provisioning profiles or store receipts exist here; both always answer false.
  static bool hasEmbeddedMobileProvision() { return false; }
  static bool isAppStoreReceiptSandbox() { return false; }

  // --- String formatting
  // The app secret of a ";"-separated configuration string: the first non-empty part without
  // "target=", with "appsecret=" removed, when not empty.
  static std::optional<std::string> appSecretFrom(std::string_view configuration);
  // The first non-empty part that contains "target=", with "target=" removed, when not empty.
  static std::optional<std::string> transmissionTargetTokenFrom(std::string_view configuration);
  // The text before the first "-" of a token; nothing when it is empty.
  static std::optional<std::string> targetKeyFromTargetToken(std::string_view token);
  // "o:" followed by the target key; nothing when there is no key.
  static std::optional<std::string> iKeyFromTargetToken(std::string_view token);
  // Lower-case hexadecimal SHA-256 of the string's UTF-8 bytes (64 characters).
  static std::string sha256(std::string_view text);
  // Re-indents JSON text for log output. Text that does not parse (or nests deeper than the
  // parser allows) comes back unchanged; nothing for no data.
  static std::optional<std::string> prettyPrintJson(std::optional<std::span<const std::uint8_t>> data);
  // Replaces every case-insensitive match of `pattern` in `text` by `replacementTemplate` ("$1"
  // refers to a group). An invalid pattern logs an error and answers nothing. Texts longer than
  // kMaxObfuscatedLength answer nothing too: the standard matcher recurses once per character a
  // repetition consumes (an 8 MB stack overflows near 280 KB of text, and near 16 KB under the
  // address sanitizer), and a log line that cannot be masked must not be printed unmasked.
  static constexpr std::size_t kMaxObfuscatedLength = 8 * 1024;
  static std::optional<std::string> obfuscateString(std::optional<std::string_view> text, std::string_view pattern,
                                                    std::string_view replacementTemplate);

  // --- Property validation
  static constexpr std::size_t kMaxPropertiesCount = 20;
  static constexpr std::size_t kMaxPropertyKeyLength = 125;    // code points
  static constexpr std::size_t kMaxPropertyValueLength = 125;  // code points
  // At most 20 entries in key order; empty keys dropped; keys and values longer than 125 code
  // points cut to 125 (never inside a UTF-8 sequence). Each case warns under the core's tag with
  // the type word and the log name.
  static TLStringProperties validateProperties(const TLStringProperties& properties, std::string_view logName,
                                               std::string_view type);
};

}  // namespace ml::beacon
