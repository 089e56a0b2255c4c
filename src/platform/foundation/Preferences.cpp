#include "platform/foundation/Preferences.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <new>

#include "platform/foundation/AppFolders.h"
#include "platform/foundation/AppIdentity.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/logging/Log.h"

namespace ml::foundation {

namespace {

// "20261207T080000Z": a file-name-safe UTC time for set-aside copies.
std::string compactUtcNow() {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
  return text;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::optional<double> parseReal(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || errno == ERANGE) return std::nullopt;
  return value;
}

std::optional<PlistValue> lookupValue(const PlistValue::Dictionary& values, std::string_view key) {
  auto it = values.find(key);
  if (it == values.end()) return std::nullopt;
  return it->second;
}

}  // namespace

std::filesystem::path Preferences::standardFile() {
  return AppFolders::config() / (std::string(AppIdentity::kIdentifier) + ".plist");
}

Preferences& Preferences::standard() {
  // One store per file, never destroyed: references handed out stay valid even for code that
  // runs during exit.
  struct Registry {
    std::mutex mutex;
    std::map<std::filesystem::path, std::unique_ptr<Preferences>> stores;
  };
  static Registry* registry = [] {
    alignas(Registry) static unsigned char storage[sizeof(Registry)];
    return ::new (storage) Registry();
  }();
  auto file = standardFile();
  std::lock_guard lock(registry->mutex);
  auto& store = registry->stores[file];
  if (!store) store = std::make_unique<Preferences>(file);
  return *store;
}

Preferences::Preferences(std::filesystem::path file, PropertyList::Format format)
    : file_(std::move(file)), format_(format) {
  load();
}

void Preferences::load() {
  auto bytes = readWholeFile(file_, PropertyList::kMaxInputSize);
  Error problem;
  if (bytes) {
    auto parsed = PropertyList::parse(*bytes);
    if (parsed && parsed->dictionary()) {
      values_ = std::move(*parsed->dictionary());
      format_ = PropertyList::detectFormat(*bytes);
      return;
    }
    problem = parsed ? Error::make(PropertyList::kErrorDomain, PropertyList::kReadCorruptError,
                                   "the top value is not a dictionary")
                     : parsed.error();
  } else if (bytes.error().isPosix(ENOENT)) {
    return;  // first run: nothing stored yet
  } else {
    problem = bytes.error();
  }

  // Keep the unreadable bytes for inspection and start from defaults; the next write must not
  // destroy what may still be recoverable by hand.
  std::string stamp = compactUtcNow();
  std::filesystem::path target;
  std::error_code ec;
  for (int attempt = 0; attempt < 100; ++attempt) {
    target = file_.string() + ".corrupt-" + stamp + (attempt ? "-" + std::to_string(attempt) : "");
    if (!std::filesystem::exists(target, ec)) break;
  }
  std::filesystem::rename(file_, target, ec);
  if (ec) {
    LOG_ERROR("failed to set aside unreadable preferences. path=" << file_.string() << " error=["
              << problem << "] rename=[" << Error::posix(ec.value()) << "]");
    return;
  }
  setAside_ = target;
  LOG_ERROR("unreadable preferences set aside, using defaults. path=" << file_.string()
            << " setAside=" << target.string() << " error=[" << problem << "]");
}

std::optional<PlistValue> Preferences::object(std::string_view key) const {
  std::lock_guard lock(mutex_);
  return lookupValue(values_, key);
}

std::optional<std::string> Preferences::string(std::string_view key) const {
  auto value = object(key);
  if (!value || !value->string()) return std::nullopt;
  return *value->string();
}

std::optional<std::int64_t> Preferences::integer(std::string_view key) const {
  auto value = object(key);
  if (!value) return std::nullopt;
  if (auto i = value->integer()) return i;
  if (auto b = value->boolean()) return *b ? 1 : 0;
  if (auto r = value->real()) {
    // Only values an int64 can hold; 9.2e18 and up would overflow the conversion.
    if (std::isfinite(*r) && *r >= -9.2e18 && *r <= 9.2e18) return static_cast<std::int64_t>(*r);
    return std::nullopt;
  }
  if (const auto* s = value->string()) return parseInteger(*s);
  return std::nullopt;
}

std::optional<double> Preferences::real(std::string_view key) const {
  auto value = object(key);
  if (!value) return std::nullopt;
  if (auto r = value->real()) return r;
  if (auto i = value->integer()) return static_cast<double>(*i);
  if (auto b = value->boolean()) return *b ? 1.0 : 0.0;
  if (const auto* s = value->string()) return parseReal(*s);
  return std::nullopt;
}

std::optional<bool> Preferences::boolean(std::string_view key) const {
  auto value = object(key);
  if (!value) return std::nullopt;
  if (auto b = value->boolean()) return b;
  if (auto i = value->integer()) return *i != 0;
  if (auto r = value->real()) return *r != 0.0;
  if (const auto* s = value->string()) {
    if (*s == "YES" || *s == "yes" || *s == "true" || *s == "TRUE" || *s == "1") return true;
    if (*s == "NO" || *s == "no" || *s == "false" || *s == "FALSE" || *s == "0") return false;
  }
  return std::nullopt;
}

std::optional<PlistValue::Date> Preferences::date(std::string_view key) const {
  auto value = object(key);
  return value ? value->date() : std::nullopt;
}

std::optional<PlistValue::Data> Preferences::data(std::string_view key) const {
  auto value = object(key);
  if (!value || !value->data()) return std::nullopt;
  return *value->data();
}

std::optional<PlistValue::Array> Preferences::array(std::string_view key) const {
  auto value = object(key);
  if (!value || !value->array()) return std::nullopt;
  return *value->array();
}

std::optional<PlistValue::Dictionary> Preferences::dictionary(std::string_view key) const {
  auto value = object(key);
  if (!value || !value->dictionary()) return std::nullopt;
  return *value->dictionary();
}

void Preferences::set(std::string_view key, PlistValue value) {
  std::lock_guard lock(mutex_);
  auto previous = lookupValue(values_, key);
  values_.insert_or_assign(std::string(key), std::move(value));
  auto bytes = PropertyList::serialize(PlistValue(values_), format_);
  if (!bytes) {
    // A value the file cannot hold must not block every later save: refuse it.
    if (previous)
      values_.insert_or_assign(std::string(key), std::move(*previous));
    else
      values_.erase(values_.find(key));
    LOG_ERROR("refused preference value that cannot be stored. key=" << key << " error=[" << bytes.error() << "]");
    return;
  }
  if (auto status = writeFileAtomically(file_, *bytes, 0600); !status)
    LOG_ERROR("failed to save preferences. path=" << file_.string() << " key=" << key << " error=["
              << status.error() << "]");
}

void Preferences::remove(std::string_view key) {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return;
  values_.erase(it);
  if (auto status = writeLocked(); !status)
    LOG_ERROR("failed to save preferences. path=" << file_.string() << " key=" << key << " error=["
              << status.error() << "]");
}

Status Preferences::save() {
  std::lock_guard lock(mutex_);
  return writeLocked();
}

Status Preferences::writeLocked() {
  auto bytes = PropertyList::serialize(PlistValue(values_), format_);
  if (!bytes) return bytes.error();
  return writeFileAtomically(file_, *bytes, 0600);
}

PlistValue::Dictionary Preferences::values() const {
  std::lock_guard lock(mutex_);
  return values_;
}

std::optional<std::filesystem::path> Preferences::setAsideFile() const {
  std::lock_guard lock(mutex_);
  return setAside_;
}

}  // namespace ml::foundation
