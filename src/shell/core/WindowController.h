#pragma once
// The application's view of a window or sheet controller: what the global state keeps in its set
// of open windows and what the window factories hand out. Held by shared_ptr; the global state's
// set keeps an announced controller alive until it announces its closing.
//
// Qt-free so the global state and commands test headless. Controllers that own widgets must let
// them go safely from any thread (QObject::deleteLater), since the last reference may be dropped
// on a store's queue.
#include <memory>
#include <string>
#include <vector>

#include "files/Path.h"

namespace ml::shell {

class WindowController : public std::enable_shared_from_this<WindowController> {
 public:
  virtual ~WindowController() = default;

  // The name of the controller's dynamic type without namespaces ("InfoWindow"), as usage
  // events report it.
  std::string typeName() const;

  // The toolkit window this controller shows, as an opaque identity (a QWidget* for Qt windows),
  // or null while it has none. Used to find the front window of a kind.
  virtual const void* windowIdentity() const { return nullptr; }
};

// A window a command creates and then shows. show() runs on the main thread.
class ShowableWindow : public WindowController {
 public:
  virtual void show() = 0;
};

// The Info window: initialize() fires its initialised event with the items on its own store.
class InfoWindowController : public ShowableWindow {
 public:
  virtual void initialize(const std::vector<files::Path>& items) = 0;
};

// A list window: addItems() fires its items-added event with the items on its own store.
class ListWindowController : public ShowableWindow {
 public:
  virtual void addItems(const std::vector<files::Path>& items) = 0;
};

}  // namespace ml::shell
