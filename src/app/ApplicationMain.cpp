#include "app/ApplicationMain.h"

#include <QApplication>
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <optional>

#include "app/BeaconTelemetry.h"
#include "app/TelemetryHooks.h"
#include "appkit/Application.h"
#include "appkit/DBusFileManager.h"
#include "appkit/DesktopWorkspace.h"
#include "appkit/HeldKeys.h"
#include "appkit/FreedesktopTrash.h"
#include "appkit/InstanceChannel.h"
#include "appkit/ItemPath.h"
#include "appkit/LauncherWindow.h"
#include "appkit/LinuxScriptRunner.h"
#include "appkit/MainMenu.h"
#include "appkit/QtAlertPresenter.h"
#include "appkit/QtOpenPanels.h"
#include "appkit/QtTypeDescriber.h"
#include "appkit/TerminationSignals.h"
#include "appkit/WindowOrder.h"
#include "appkit/WindowPresence.h"
#include "beacon/analytics/TLAnalytics.h"
#include "beacon/core/Service/TLBeacon.h"
#include "beacon/crashes/TLCrashes.h"
#include "find/FindWindowFactory.h"
#include "info/InfoWindow.h"
#include "list/menu/ListMenu.h"
#include "list/window/ListWindowFactory.h"
#include "platform/dispatch/GlobalPool.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/FreedMemory.h"
#include "platform/foundation/Preferences.h"
#include "platform/logging/Log.h"
#include "rename/RenameWindowFactories.h"
#include "shell/AppDelegate.h"
#include "shell/GlobalCommands.h"
#include "shell/coding/HandOff.h"
#include "shell/MainMenuModel.h"
#include "shell/preferences/PreferencesWindowFactory.h"

namespace ml::app {

using namespace ml::shell;
namespace fs = std::filesystem;

namespace {

// The items named on the command line in the canonical item form (a later launch runs in
// another folder than the instance it hands them to), as the bytes they were given. The desktop
// file passes plain paths (%F); file URLs are accepted too. Everything after "--" is a path even
// when it starts with "-".
std::vector<fs::path> itemsFromArguments(const std::vector<std::string>& arguments) {
  std::vector<fs::path> items;
  bool optionsEnded = false;
  for (const auto& argument : arguments) {
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (!optionsEnded && argument.starts_with("-")) continue;
    fs::path item = argument;
    if (argument.starts_with("file://")) {
      auto local = appkit::localPathOfFileUrl(argument);
      if (!local) continue;  // not a local file
      item = *local;
    }
    if (item.empty()) continue;
    items.push_back(appkit::canonicalItemPath(item));
  }
  return items;
}

void activateApplication(QWidget& launcher) {
  appkit::bringAllWindowsToFront();
  if (launcher.isVisible()) {
    launcher.raise();
    launcher.activateWindow();
  }
}

// How long the shutdown after the event loop may take before the process is ended regardless.
constexpr std::chrono::seconds kShutdownLimit{10};

// Everything the running application is made of, from the desktop services to the event loop.
// Returns the exit code once the loop has ended, the windows have closed and everything made
// here is gone.
int runLaunched(appkit::Application& app, appkit::InstanceChannel& channel, appkit::InstanceChannel::Role role,
                const std::vector<fs::path>& items, const appkit::HeldKeys& heldAtLaunch) {
  files::TypeDescriber::install(std::make_shared<appkit::QtTypeDescriber>());
  dispatch::Queue& main = dispatch::MainQueue::shared();
  dispatch::Queue& background = dispatch::GlobalPool::shared();
  auto trash = std::make_shared<const appkit::FreedesktopTrash>();
  auto fileManager = std::make_shared<appkit::DBusFileManager>();
  appkit::WindowOrder windowOrder;
  std::function<void()> activate;  // set once the launcher window exists

  // Telemetry: the services the client can start here (the shell asks for crash reporting, then
  // analytics; the client starts them by priority), and the usage events of every window over the
  // analytics service.
  auto telemetry = std::make_shared<BeaconTelemetryStarter>();
  telemetry->provide(TelemetryService::crashes, beacon::TLServiceClass::of<beacon::TLCrashes>());
  telemetry->provide(TelemetryService::analytics, beacon::TLServiceClass::of<beacon::TLAnalytics>());

  ShellServices services;
  services.telemetry = telemetry;
  services.usageEvents = std::make_shared<AnalyticsUsageEvents>();
  auto alerts = std::make_shared<appkit::QtAlertPresenter>();
  services.alerts = alerts;
  services.openPanels = std::make_shared<appkit::QtOpenPanels>(main, background);
  services.workspace = std::make_shared<appkit::DesktopWorkspace>(fileManager, trash, main, background);
  services.scriptRunner = std::make_shared<appkit::LinuxScriptRunner>(trash, fileManager, alerts);
  // What the client learns from the toolkit; URLs it opens go to the desktop through the workspace.
  TelemetryHooks telemetryHooks;
  services.preferences = &foundation::Preferences::standard();
  telemetry->setDebugLogs(services.preferences->boolean("debugLogs").value_or(false));
  services.windowsFrontToBack = [&windowOrder] {
    std::vector<const void*> windows;
    for (QWidget* window : windowOrder.frontToBack()) windows.push_back(window);
    return windows;
  };
  services.closeFrontWindow = [] { appkit::closeActiveWindow(); };
  services.activate = [&activate] {
    if (activate) activate();
  };
  services.main = &main;
  services.background = &background;
  // What the windows reach of the application: the delegate's store and services. Filled in once
  // the delegate exists, before any window is made (windows are made only after launch).
  WindowContext windowContext;
  services.windows.preferences =
      preferencesWindowFactory(*services.preferences, services.alerts, services.usageEvents, windowContext);
  rename::installRenameWindows(services.windows, windowContext);
  services.windows.info = [&windowContext] { return info::InfoWindow::make(windowContext); };
  find::installFindWindow(services.windows, windowContext);
  list::installListWindows(services.windows, windowContext);

  // Every later drop reads the keys held at that moment.
  services.heldKeys = appkit::readHeldKeys;

  AppDelegate delegate(services);
  windowContext = delegate.windowContext();
  appkit::MainMenu menu(mainMenuModel(delegate));
  menu.setFiller("List", list::listMenuFiller(delegate.reactor()));
  menu.watch();
  delegate.setMainMenu(&menu);

  // The launch's own items go with the keys held when the process started, not with those held by
  // the time the delegate looks.
  if (!items.empty()) delegate.openFiles(items, heldAtLaunch);
  if (role == appkit::InstanceChannel::Role::failed) {
    LOG_WARNING("could not listen for later launches; they will run as instances of their own. socket="
                << appkit::InstanceChannel::defaultSocketPath().string());
  }

  appkit::LauncherActions launcherActions{
      [&delegate] { delegate.showMLInfo(); },
      [&delegate] { delegate.reactor().fire(GlobalCommands<GlobalState>::list()); },
      [&delegate] { delegate.openOrFocusOnFindWindow(); },
      [&delegate](std::vector<fs::path> dropped) { delegate.openFiles(dropped); }};
  appkit::LauncherWindow launcher(launcherActions);
  std::optional<appkit::WindowPresence> presence(std::in_place, launcher);
  activate = [&launcher] { activateApplication(launcher); };

  channel.setReceiver([&delegate](QByteArray message) {
    auto received = HandOff::decode(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(message.constData()),
                                      static_cast<std::size_t>(message.size())));
    if (!received) {
      LOG_ERROR("ignoring a malformed hand-off from a later launch. error=" << received.error());
      return;
    }
    delegate.receiveHandOff(*received);
  });
  // Before the quit's own slot, which may wait for work: a signal that comes meanwhile must find
  // the quit begun, and stop the work at once.
  appkit::TerminationSignals terminationSignals([&delegate] { delegate.stopFileWorkNow(); });
  QObject::connect(&app.qt(), &QCoreApplication::aboutToQuit, [&delegate, &telemetryHooks] {
    delegate.willTerminate();
    telemetryHooks.willTerminate();
  });

  delegate.didFinishLaunching();
  telemetryHooks.didFinishLaunching();
  presence->update();
  int code = app.exec();

  // Shutting down. However it goes, the process ends.
  appkit::endProcessWithin(kShutdownLimit, code);
  channel.setReceiver({});
  presence.reset();  // the launcher must not come back as the windows close
  launcher.hide();
  app.closeWindows();
  return code;
}

}  // namespace

int runApplication(int argc, char** argv) {
  // The keys held at launch are read before anything else: a key pressed with the launch may be
  // let go while the toolkit loads (a tenth of a second or more, much longer on a cold start),
  // and the launch's own items go with the keys held when it started. Only without an X display
  // are they read from the toolkit, which then knows the modifiers alone.
  std::optional<appkit::HeldKeys> keymapAtLaunch = appkit::readKeymap();
  // Before any other thread allocates: a large list or search leaves no heap behind it.
  foundation::limitRetainedMemory();
  appkit::Application app(argc, argv);
  std::vector<fs::path> items = itemsFromArguments(app.arguments());
  appkit::HeldKeys heldAtLaunch = keymapAtLaunch ? *std::move(keymapAtLaunch) : appkit::readHeldKeys();

  // A later launch hands its items and held keys to the running instance and ends here.
  HandOff handOff;
  for (const auto& item : items) handOff.paths.push_back(item.string());
  handOff.keys = DropKeys{heldAtLaunch.characters(), ModifierKeys::fromPlatform(heldAtLaunch.modifiers)};
  auto encoded = handOff.encode();
  appkit::InstanceChannel channel(appkit::InstanceChannel::defaultSocketPath());
  auto role = channel.claimOrHandOff(QByteArray(reinterpret_cast<const char*>(encoded.data()),
                                                static_cast<qsizetype>(encoded.size())));
  if (role == appkit::InstanceChannel::Role::handedOff) return 0;

  int code = runLaunched(app, channel, role, items, heldAtLaunch);
  // The delegate, its stores and the windows are gone; run what they left posted before the
  // toolkit goes, so that nothing of theirs is destroyed inside its teardown.
  app.finish();
  // The telemetry client's queues and threads end here, before static objects are torn down.
  beacon::TLBeacon::shutdown();
  logging::Log::flush();
  return code;
}

}  // namespace ml::app
