#pragma once
// The events that travel through the global store to every open window, and the small events and
// the selection protocol that the global commands share with the window stores.
#include <concepts>
#include <memory>
#include <optional>
#include <vector>

#include "files/Path.h"
#include "platform/foundation/Result.h"
#include "platform/store/Event.h"
#include "shell/core/PathList.h"
#include "shell/core/WindowController.h"

namespace ml::shell {

struct ApplicationEvents {
  // A window or sheet controller has loaded.
  struct WindowOpened : store::Event {
    explicit WindowOpened(std::shared_ptr<WindowController> c) : controller(std::move(c)) {}
    std::shared_ptr<WindowController> controller;
  };
  // A window or sheet controller has closed.
  struct WindowClosed : store::Event {
    explicit WindowClosed(std::shared_ptr<WindowController> c) : controller(std::move(c)) {}
    std::shared_ptr<WindowController> controller;
  };
  // A batch rename renamed these items.
  struct ItemsRenamed : store::Event {
    explicit ItemsRenamed(PathMapping i) : items(std::move(i)) {}
    PathMapping items;
  };
};

struct WindowEvents {
  // Fired by a window on its own store once its window has loaded.
  struct Loaded : store::Event {};
};

// The items the trash command moved to the Trash, and an error for those it could not.
struct ItemsTrashed : store::Event {
  ItemsTrashed(std::vector<files::Path> i, std::optional<foundation::Error> e) : items(std::move(i)), error(std::move(e)) {}
  std::vector<files::Path> items;
  std::optional<foundation::Error> error;
};

// The items the move command moved (old path to new path).
struct ItemsMoved : store::Event {
  explicit ItemsMoved(PathMapping i) : items(std::move(i)) {}
  PathMapping items;
};

// The items the copy command copied (source to copy), so that windows can show the copies.
struct ItemsCopied : store::Event {
  explicit ItemsCopied(PathMapping i) : items(std::move(i)) {}
  PathMapping items;
};

// A window state whose commands act on its selection when given no items: it offers
//   std::vector<files::Path> selectedItems() const;
template <class S>
concept SelectableFileState = requires(const S& state) {
  { state.selectedItems() } -> std::convertible_to<std::vector<files::Path>>;
};

}  // namespace ml::shell
