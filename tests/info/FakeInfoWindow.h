#pragma once
// An Info window as the commands see it: it owns its store (recorded by an InfoStoreProbe) and
// records the date sheets it was asked for, so a test can answer them.
#include <memory>
#include <mutex>
#include <vector>

#include "info/state/InfoWindowEvents.h"
#include "info/state/InfoWindowHost.h"
#include "infostate/InfoStoreProbe.h"

namespace ml::info::testing {

class FakeDateSheet final : public shell::WindowController {
 public:
  enum class Kind { adjuster, picker };
  FakeDateSheet(Kind k, std::optional<TimestampType> t, std::optional<EditableField> f, files::Date d, DateCallback c)
      : kind(k), type(t), field(f), date(d), callback(std::move(c)) {}
  Kind kind;
  std::optional<TimestampType> type;
  std::optional<EditableField> field;
  files::Date date;
  DateCallback callback;
  std::function<void()> ended;
};

class FakeInfoWindow final : public InfoWindowHost, public std::enable_shared_from_this<FakeInfoWindow> {
 public:
  // Announces itself as loaded on its store, as the real window does.
  void load() {
    probe.core->fire(WindowLoaded(std::weak_ptr<InfoWindowHost>(shared_from_this())));
    probe.settle();
  }

  std::weak_ptr<store::Core<InfoWindowState>> store() const override { return probe.core; }
  std::shared_ptr<shell::WindowController> makeDateAdjuster(TimestampType type, files::Date date,
                                                            DateCallback callback) override {
    return remember(std::make_shared<FakeDateSheet>(FakeDateSheet::Kind::adjuster, type, std::nullopt, date,
                                                    std::move(callback)));
  }
  std::shared_ptr<shell::WindowController> makeDatePicker(EditableField field, files::Date date,
                                                          DateCallback callback) override {
    return remember(std::make_shared<FakeDateSheet>(FakeDateSheet::Kind::picker, std::nullopt, field, date,
                                                    std::move(callback)));
  }
  void beginSheet(const std::shared_ptr<shell::WindowController>& sheet, std::function<void()> ended) override {
    std::static_pointer_cast<FakeDateSheet>(sheet)->ended = std::move(ended);
  }
  store::Core<shell::GlobalState>* globalStore() const override { return global; }
  std::shared_ptr<appkit::OpenPanels> openPanels() const override { return panels; }

  std::vector<std::shared_ptr<FakeDateSheet>> sheets() const {
    std::lock_guard lock(mutex_);
    return sheets_;
  }

  InfoStoreProbe probe;
  // What the window was given of the application.
  store::Core<shell::GlobalState>* global = nullptr;
  std::shared_ptr<appkit::OpenPanels> panels;

 private:
  std::shared_ptr<FakeDateSheet> remember(std::shared_ptr<FakeDateSheet> sheet) {
    std::lock_guard lock(mutex_);
    sheets_.push_back(sheet);
    return sheet;
  }
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<FakeDateSheet>> sheets_;
};

}  // namespace ml::info::testing
