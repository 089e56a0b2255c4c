#pragma once
// Base of the program's panes: a widget built from an interface file. A subclass sets up its
// interface (uic's setupUi) in its constructor and then calls finishLoading(), which wakes the
// localizable controls and then runs viewDidLoad() once.
#include <QWidget>

namespace ml::appkit {

class TolvekViewController : public QWidget {
  Q_OBJECT
 public:
  explicit TolvekViewController(QWidget* parent = nullptr);

  // The controller's view is the widget itself.
  QWidget& view() { return *this; }
  bool isViewLoaded() const { return loaded_; }

 protected:
  // Main thread; later calls do nothing.
  void finishLoading();
  // Runs once, after the interface and its localized texts are in place.
  virtual void viewDidLoad() {}

 private:
  bool loaded_ = false;
};

}  // namespace ml::appkit
