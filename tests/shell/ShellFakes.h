#pragma once
// Stand-ins for the desktop and the windows of other parts, for the shell's tests: every fake
// records what it was asked, and the test answers panels and alerts itself.
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "appkit/OpenPanels.h"
#include "appkit/ScriptRunner.h"
#include "appkit/Workspace.h"
#include "appkit/values/Alert.h"
#include "platform/dispatch/Queue.h"
#include "shell/RenameWindows.h"
#include "shell/core/Telemetry.h"
#include "shell/core/WindowController.h"

namespace ml::shell::testing {

namespace fs = std::filesystem;

// Runs each task at once on the calling thread.
class InlineQueue final : public dispatch::Queue {
 public:
  void async(std::function<void()> task) override { task(); }
};

class FakeOpenPanels final : public appkit::OpenPanels {
 public:
  struct Request {
    enum class Kind { file, files, directory } kind;
    bool allowDirectories = false;
    bool allowFiles = false;
    OneItem one;
    Items several;
  };

  void chooseFile(bool allowDirectories, OneItem callback) override {
    add({Request::Kind::file, allowDirectories, true, std::move(callback), {}});
  }
  void chooseFiles(bool allowDirectories, bool allowFiles, Items callback) override {
    add({Request::Kind::files, allowDirectories, allowFiles, {}, std::move(callback)});
  }
  void chooseDirectory(OneItem callback) override { add({Request::Kind::directory, true, false, std::move(callback), {}}); }

  std::size_t count() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
  }
  Request request(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return requests_.at(index);
  }
  // Drops the requests, and with them the callbacks (which hold the services, and so this fake).
  void forget() {
    std::lock_guard lock(mutex_);
    requests_.clear();
  }
  // Answers the request as the user choosing `items` would.
  void choose(std::size_t index, const std::vector<fs::path>& items) const {
    Request r = request(index);
    if (r.several) r.several(items);
    if (r.one && !items.empty()) r.one(items.front());
  }

 private:
  void add(Request request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(request));
  }
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
};

class FakeAlerts final : public appkit::AlertPresenter {
 public:
  int runModal(const appkit::Alert& alert) override {
    std::lock_guard lock(mutex_);
    shown_.push_back(alert);
    if (answers_.empty()) return appkit::kFirstButtonReturn;
    int answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  void answer(int response) {
    std::lock_guard lock(mutex_);
    answers_.push_back(response);
  }
  std::vector<appkit::Alert> shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
  }
  // Records the notice with the first progress text, lets the test act on it as a user would
  // (onNotice, given the notice's stop), then waits as the real one does.
  void showUntilDone(const appkit::Alert& notice, const Progress& progress, const Stop& stop) override {
    if (auto text = progress()) {
      std::lock_guard lock(mutex_);
      notices_.emplace_back(notice, *text);
    }
    if (onNotice) onNotice(stop);
    waitUntilDone(progress);
  }
  std::function<void(const Stop&)> onNotice;
  std::vector<std::pair<appkit::Alert, std::string>> notices() const {
    std::lock_guard lock(mutex_);
    return notices_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<appkit::Alert> shown_;
  std::vector<std::pair<appkit::Alert, std::string>> notices_;
  std::deque<int> answers_;
};

class FakeWorkspace final : public appkit::Workspace {
 public:
  void open(const fs::path& item, const std::optional<std::string>& application) override {
    std::lock_guard lock(mutex);
    opened.emplace_back(item, application);
  }
  void reveal(const std::vector<fs::path>& items) override {
    std::lock_guard lock(mutex);
    revealed.push_back(items);
  }
  void recycle(std::vector<fs::path> items, RecycleCompletion completion) override {
    {
      std::lock_guard lock(mutex);
      recycled.push_back(items);
    }
    completion(items, std::nullopt);
  }
  std::mutex mutex;
  std::vector<std::pair<fs::path, std::optional<std::string>>> opened;
  std::vector<std::vector<fs::path>> revealed;
  std::vector<std::vector<fs::path>> recycled;
};

class RecordingScriptRunner final : public appkit::ScriptRunner {
 public:
  appkit::ScriptOutcome run(const std::string& source) override {
    std::lock_guard lock(mutex_);
    sources_.push_back(source);
    if (outcomes_.empty()) return appkit::ScriptOutcome::answered(std::monostate{});
    auto outcome = outcomes_.front();
    outcomes_.pop_front();
    return outcome;
  }
  void answer(appkit::ScriptOutcome outcome) {
    std::lock_guard lock(mutex_);
    outcomes_.push_back(std::move(outcome));
  }
  std::vector<std::string> sources() const {
    std::lock_guard lock(mutex_);
    return sources_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> sources_;
  std::deque<appkit::ScriptOutcome> outcomes_;
};

class RecordingUsageEvents final : public UsageEvents {
 public:
  void trackEvent(const std::string& name, const std::map<std::string, std::string>& properties) override {
    std::lock_guard lock(mutex_);
    events_.emplace_back(name, properties);
  }
  std::vector<std::pair<std::string, std::map<std::string, std::string>>> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::map<std::string, std::string>>> events_;
};

class RecordingTelemetry final : public TelemetryStarter {
 public:
  void setTransmissionInterval(unsigned seconds) override { calls.push_back("interval " + std::to_string(seconds)); }
  void start(const std::string& secret, const std::vector<TelemetryService>& services) override {
    std::string names;
    for (auto s : services) names += s == TelemetryService::crashes ? " crashes" : " analytics";
    calls.push_back("start " + secret + names);
  }
  std::vector<std::string> calls;
};

// Windows of the other parts, named as their real controllers are.
class InfoWindow final : public InfoWindowController {
 public:
  void initialize(const std::vector<files::Path>& items) override { this->items = items; }
  void show() override { shown = true; }
  std::vector<files::Path> items;
  bool shown = false;
};

class ListWindow final : public ListWindowController {
 public:
  void addItems(const std::vector<files::Path>& items) override { this->items = items; }
  void show() override { shown = true; }
  std::vector<files::Path> items;
  bool shown = false;
  const void* windowIdentity() const override { return identity; }
  const void* identity = nullptr;
};

class FindWindow final : public ShowableWindow {
 public:
  void show() override { shown = true; }
  bool shown = false;
  const void* windowIdentity() const override { return identity; }
  const void* identity = nullptr;
};

class PreferencesController final : public ShowableWindow {
 public:
  void show() override { shown = true; }
  bool shown = false;
};

// Appends a suffix to every name; "fail" names cannot be renamed.
class SuffixRule final : public RenameRule {
 public:
  explicit SuffixRule(std::string suffix) : suffix_(std::move(suffix)) {}
  foundation::Result<std::string> apply(const std::string& name) const override {
    if (name.starts_with("fail")) return foundation::Error::make("test", 1, "cannot rename");
    if (name.starts_with("same")) return name;
    return name + suffix_;
  }

 private:
  std::string suffix_;
};

class RenameDialog final : public RenameDialogController {
 public:
  bool hasWindow() const override { return true; }
  void show() override { shownAlone = true; }
  void beginSheet(const std::shared_ptr<WindowController>& parent, std::function<void(int)> ended) override {
    sheetParent = parent;
    this->ended = std::move(ended);
  }
  std::shared_ptr<const RenameRule> rule() const override { return currentRule; }

  bool shownAlone = false;
  std::shared_ptr<WindowController> sheetParent;
  std::function<void(int)> ended;
  std::shared_ptr<const RenameRule> currentRule;
};

class RenameConfirmationDialog final : public RenameConfirmationController {
 public:
  void beginSheet(const std::shared_ptr<WindowController>&, std::function<void()> ended) override {
    this->ended = std::move(ended);
  }
  PathMapping results() const override { return performed; }

  std::vector<files::Path> confirming;
  std::function<void()> ended;
  PathMapping performed;
};

}  // namespace ml::shell::testing
