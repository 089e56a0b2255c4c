#pragma once
// The application's verbs on items, as a command that runs on any store: the global store (menu,
// drop and startup actions) or a window's own (its toolbar). A case given no items acts on the
// window's selection when the store's state offers one (SelectableFileState), else on none.
//
//   core.fire(GlobalCommands<ListWindowState>::trash());          // the list's selection
//   reactor.fire(GlobalCommands<GlobalState>::fileInfo(paths));    // these paths
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "files/Path.h"
#include "platform/dispatch/Queue.h"
#include "platform/logging/Log.h"
#include "platform/store/Command.h"
#include "platform/store/Core.h"
#include "shell/AppDelegate.h"
#include "shell/GlobalCommandExecutors.h"
#include "shell/core/ApplicationEvents.h"

namespace ml::shell {

template <class S>
class GlobalCommands final : public store::Command<S> {
 public:
  using Paths = std::optional<std::vector<files::Path>>;

  struct FileInfo { Paths paths; };
  struct FinderInfo { Paths paths; };
  struct Open { Paths paths; std::optional<std::string> application; };
  struct List { Paths paths; };
  struct Copy { Paths paths; };
  struct Move { Paths paths; };
  struct Rename { std::vector<files::Path> items; std::shared_ptr<WindowController> parent; };
  struct Reveal { Paths paths; };
  struct Trash { Paths paths; };
  struct ShowSearch {};
  struct ShowPreferences {};
  using Case = std::variant<FileInfo, FinderInfo, Open, List, Copy, Move, Rename, Reveal, Trash, ShowSearch,
                            ShowPreferences>;

  explicit GlobalCommands(Case command) : command_(std::move(command)) {}

  static std::shared_ptr<store::Command<S>> fileInfo(Paths paths = std::nullopt) { return make(FileInfo{std::move(paths)}); }
  static std::shared_ptr<store::Command<S>> finderInfo(Paths paths = std::nullopt) { return make(FinderInfo{std::move(paths)}); }
  static std::shared_ptr<store::Command<S>> open(Paths paths = std::nullopt, std::optional<std::string> application = std::nullopt) {
    return make(Open{std::move(paths), std::move(application)});
  }
  static std::shared_ptr<store::Command<S>> list(Paths paths = std::nullopt) { return make(List{std::move(paths)}); }
  static std::shared_ptr<store::Command<S>> copy(Paths paths = std::nullopt) { return make(Copy{std::move(paths)}); }
  static std::shared_ptr<store::Command<S>> move(Paths paths = std::nullopt) { return make(Move{std::move(paths)}); }
  static std::shared_ptr<store::Command<S>> rename(std::vector<files::Path> items,
                                                   std::shared_ptr<WindowController> parent = nullptr) {
    return make(Rename{std::move(items), std::move(parent)});
  }
  static std::shared_ptr<store::Command<S>> reveal(Paths paths = std::nullopt) { return make(Reveal{std::move(paths)}); }
  static std::shared_ptr<store::Command<S>> trash(Paths paths = std::nullopt) { return make(Trash{std::move(paths)}); }
  static std::shared_ptr<store::Command<S>> showSearch() { return make(ShowSearch{}); }
  static std::shared_ptr<store::Command<S>> showPreferences() { return make(ShowPreferences{}); }

  const Case& command() const { return command_; }

  void execute(const S& state, store::Core<S>& core) override {
    AppDelegate* delegate = AppDelegate::shared();
    if (!delegate) {
      LOG_ERROR("global command fired without an application delegate; ignored");
      return;
    }
    dispatch::Queue* background = delegate->services().background;
    CommandContext context{delegate->services(), sinkOn(core, background),
                           sinkOn(delegate->reactor(), background), delegate->fileWork()};
    std::visit([&](const auto& c) { run(c, state, context); }, command_);
  }

 private:
  // Where a command's results go when its work ends, which may be long after the window that
  // fired it has closed (a modeless folder panel, a copy, the Trash): the sink holds the store
  // for as long as the work holds the sink. The last hold is let go on the background queue,
  // never on the store's own (a store must not be destroyed from its own queue). A store that is
  // not shared-owned must outlive its commands; one already being destroyed (a command drained by
  // its destructor) gets nothing.
  template <class T>
  static EventSink sinkOn(store::Core<T>& core, dispatch::Queue* background) {
    std::weak_ptr<store::Core<T>> weak = core.weak_from_this();
    if (auto held = weak.lock()) {
      std::shared_ptr<store::Core<T>> hold(held.get(), [held, background](store::Core<T>*) mutable {
        if (!background) return;
        background->async([last = std::move(held)] {});
      });
      return [hold](std::shared_ptr<const store::Event> event) { hold->fire(std::move(event)); };
    }
    const std::weak_ptr<store::Core<T>> never;
    if (!weak.owner_before(never) && !never.owner_before(weak)) {
      return [&core](std::shared_ptr<const store::Event> event) { core.fire(std::move(event)); };
    }
    return [](std::shared_ptr<const store::Event>) {
      LOG_DEBUG("a command's store was gone when its work ended; result dropped");
    };
  }

  static std::shared_ptr<store::Command<S>> make(Case command) {
    return std::make_shared<GlobalCommands>(std::move(command));
  }

  // The payload when given (even empty), else the window's selection, else none.
  static Paths itemsToActOn(const Paths& payload, const S& state) {
    if (payload) return payload;
    if constexpr (SelectableFileState<S>) {
      return std::vector<files::Path>(state.selectedItems());
    } else {
      (void)state;
      return std::nullopt;
    }
  }

  static std::string describe(const S& state) {
    if constexpr (requires(std::ostream& out) { out << state; }) {
      std::ostringstream text;
      text << state;
      return text.str();
    } else {
      return "(state)";
    }
  }

  static void run(const FileInfo& c, const S& state, const CommandContext& context) {
    LOG_DEBUG("executing global command: file info. state=" << describe(state));
    commands::openFileInfo(itemsToActOn(c.paths, state), context);
  }
  static void run(const FinderInfo& c, const S& state, const CommandContext& context) {
    commands::openFinderInfo(itemsToActOn(c.paths, state), context);
  }
  static void run(const Open& c, const S& state, const CommandContext& context) {
    commands::openPaths(itemsToActOn(c.paths, state), c.application, context);
  }
  static void run(const List& c, const S& state, const CommandContext& context) {
    commands::openList(itemsToActOn(c.paths, state), context);
  }
  static void run(const Copy& c, const S& state, const CommandContext& context) {
    commands::copyItems(itemsToActOn(c.paths, state), context);
  }
  static void run(const Move& c, const S& state, const CommandContext& context) {
    commands::moveItems(itemsToActOn(c.paths, state), context);
  }
  static void run(const Rename& c, const S&, const CommandContext& context) {
    commands::renameItems(c.items, c.parent, context);
  }
  static void run(const Reveal& c, const S& state, const CommandContext& context) {
    commands::revealItems(itemsToActOn(c.paths, state), context);
  }
  static void run(const Trash& c, const S& state, const CommandContext& context) {
    commands::trashItems(itemsToActOn(c.paths, state), context);
  }
  static void run(const ShowSearch&, const S&, const CommandContext& context) { commands::showSearchWindow(context); }
  static void run(const ShowPreferences&, const S&, const CommandContext& context) {
    commands::showPreferencesWindow(context);
  }

  Case command_;
};

}  // namespace ml::shell
