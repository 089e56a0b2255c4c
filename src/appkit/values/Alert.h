#pragma once
// A modal alert as the application describes it, apart from the toolkit that shows it, so that
// commands can be tested with a presenter that answers on its own.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ml::appkit {

struct Alert {
  enum class Style { warning, informational, critical };

  Style style = Style::warning;
  std::string messageText;
  std::string informativeText;
  // A whole list of which the informative text names only the first few, shown under Show
  // Details (scrolling). Empty: no details, unless the informative text is too long to show.
  std::string detailText;
  // Button titles, first (default) button first. Empty: a single "OK" button.
  std::vector<std::string> buttons;
  // Shows the application's icon instead of the style's standard icon.
  bool applicationIcon = false;

  friend bool operator==(const Alert&, const Alert&) = default;
};

// Response of the first button; the n-th button answers kFirstButtonReturn + n.
inline constexpr int kFirstButtonReturn = 1000;

// Shows alerts modally. Thread affinity: main thread only (a presenter may assert it).
class AlertPresenter {
 public:
  virtual ~AlertPresenter() = default;
  // Blocks in a modal loop until the user answers; returns the chosen button's response.
  virtual int runModal(const Alert& alert) = 0;

  // Work the user must wait for. `progress` answers the text to show under the message while the
  // work goes on, and nothing once it is done.
  using Progress = std::function<std::optional<std::string>()>;
  // Asks the work to stop; called at most once.
  using Stop = std::function<void()>;
  // Shows `notice` in front of every window until `progress` answers nothing, keeping the windows
  // drawn; then runs what the main thread was given meanwhile (such as the alerts the work
  // posted). With `stop`, the notice's first button (else none) and closing the notice call it
  // (once), and the notice stays until the work has stopped. Main thread. This one only waits.
  virtual void showUntilDone(const Alert& notice, const Progress& progress, const Stop& stop = {}) {
    (void)notice;
    (void)stop;
    waitUntilDone(progress);
  }
  // Waits, showing nothing, until `progress` answers nothing.
  static void waitUntilDone(const Progress& progress) {
    while (progress()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
};

}  // namespace ml::appkit
