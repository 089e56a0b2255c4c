#pragma once
// A modal alert as the application describes it, apart from the toolkit that shows it, so that
// commands can be tested with a presenter that answers on its own.
#include <string>
#include <vector>

namespace ml::appkit {

struct Alert {
  enum class Style { warning, informational, critical };

  Style style = Style::warning;
  std::string messageText;
  std::string informativeText;
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
};

}  // namespace ml::appkit
