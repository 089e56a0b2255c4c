#pragma once
// Tells a listener each time a window of the application is about to appear, with the name of
// its controller's class as the toolkit knows it ("ml.info.FileInfoWindow": namespaces joined
// by "."). Windows of classes without a name of their own report their toolkit base class.
//
// One watcher per application; it listens while it lives. Main thread only.
#include <QObject>
#include <functional>
#include <string>
#include <string_view>

namespace ml::appkit {

class ViewAppearanceWatcher final : public QObject {
  Q_OBJECT
 public:
  using Listener = std::function<void(std::string_view className)>;

  explicit ViewAppearanceWatcher(Listener listener);
  ~ViewAppearanceWatcher() override;

  // "ns::Name" -> "ns.Name".
  static std::string dottedClassName(const char* qualifiedName);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Listener listener_;
};

}  // namespace ml::appkit
