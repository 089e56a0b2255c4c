#pragma once
// What the Info window's commands need of the window itself, apart from the toolkit: its store
// (for results that arrive after a command has returned), its date sheets, and what the window
// was given of the application (its global store and open panels). The window
// controller implements it; tests use a fake. The state holds it weakly (InfoWindowState::window).
//
// Thread affinity: store() and announce() from any thread; everything else on the main thread.
#include <functional>
#include <memory>
#include <optional>

#include "files/Date.h"
#include "info/state/EditableField.h"
#include "info/state/TimestampType.h"
#include "platform/store/Core.h"
#include "shell/core/WindowController.h"

namespace ml::appkit {
class OpenPanels;
}
namespace ml::shell {
struct GlobalState;
}

namespace ml::info {

struct InfoWindowState;

// Called once by a date sheet: with the chosen date, or with nothing when it was cancelled.
using DateCallback = std::function<void(std::optional<files::Date>)>;

class InfoWindowHost {
 public:
  virtual ~InfoWindowHost() = default;

  // The window's own store. Results that come back later (a sheet, an open panel) are fired
  // through it only while it is still alive, so they never reach a store that has gone.
  virtual std::weak_ptr<store::Core<InfoWindowState>> store() const = 0;

  // A sheet that shifts `date` by whole units; null when none can be made.
  virtual std::shared_ptr<shell::WindowController> makeDateAdjuster(TimestampType type, files::Date date,
                                                                      DateCallback callback) = 0;
  // A sheet that sets `field` to a picked day and time, starting at `date`; null when none can be made.
  virtual std::shared_ptr<shell::WindowController> makeDatePicker(EditableField field, files::Date date,
                                                                   DateCallback callback) = 0;
  // Shows a sheet made above on the window; `ended` runs on the main thread once it has closed,
  // whatever its answer.
  virtual void beginSheet(const std::shared_ptr<shell::WindowController>& sheet, std::function<void()> ended) = 0;

  // The application's global store (a sheet's closing is announced there), or null without one.
  // It outlives the window.
  virtual store::Core<shell::GlobalState>* globalStore() const = 0;
  // The application's open panels, or null without them.
  virtual std::shared_ptr<appkit::OpenPanels> openPanels() const = 0;

  // Tells the whole application what happened to items (a rename made here, which every list
  // and Info window follows): fires `event` on the global store. A host without an application
  // tells no one. Any thread.
  virtual void announce(std::shared_ptr<const store::Event> event) { (void)event; }
};

}  // namespace ml::info
