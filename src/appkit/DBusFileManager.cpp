#include "appkit/DBusFileManager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QUrl>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "appkit/Workspace.h"

namespace ml::appkit {

using foundation::Error;
using foundation::Status;

namespace {

constexpr const char* kPath = "/org/freedesktop/FileManager1";
constexpr int kQuitPollMs = 100;

Error busError(const std::string& text) { return Error::make(DBusFileManager::kErrorDomain, 1, text); }

std::optional<QDBusConnection> sessionBus() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return std::nullopt;
  return bus;
}

bool processBelongsToUser(uint pid) {
  struct stat info {};
  std::string proc = "/proc/" + std::to_string(pid);
  return ::stat(proc.c_str(), &info) == 0 && info.st_uid == ::getuid();
}

}  // namespace

Status DBusFileManager::call(const char* method, const std::vector<std::filesystem::path>& items) {
  auto bus = sessionBus();
  if (!bus) return busError("there is no session bus, so the desktop's file manager cannot be reached");
  QStringList uris;
  // The items' bytes percent-encoded: a name that is not UTF-8 would not survive a text path.
  for (const auto& item : items) uris << QString::fromStdString(fileUrlText(item));
  QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kService, method);
  message << uris << QString();
  QDBusMessage reply = bus->call(message, QDBus::Block, timeoutMs_);
  if (reply.type() == QDBusMessage::ErrorMessage) {
    return busError("the desktop's file manager did not answer " + std::string(method) + ": " +
                    reply.errorMessage().toStdString());
  }
  return {};
}

Status DBusFileManager::showItems(const std::vector<std::filesystem::path>& items) { return call("ShowItems", items); }

Status DBusFileManager::showItemProperties(const std::vector<std::filesystem::path>& items) {
  return call("ShowItemProperties", items);
}

Status DBusFileManager::quit() {
  auto bus = sessionBus();
  if (!bus) return busError("there is no session bus, so the desktop's file manager cannot be reached");
  QDBusConnectionInterface* daemon = bus->interface();
  if (!daemon->isServiceRegistered(kService).value()) return {};
  auto pid = daemon->servicePid(kService);
  if (!pid.isValid() || pid.value() == 0) return busError("the file manager's process is unknown");
  if (!processBelongsToUser(pid.value())) return busError("the file manager runs as another user");
  if (::kill(static_cast<pid_t>(pid.value()), SIGTERM) != 0) return Error::posix(errno, "quit the file manager");
  // Wait for it to let go of its name, so a launch right after starts a new one.
  for (int waited = 0; waited < timeoutMs_; waited += kQuitPollMs) {
    if (!daemon->isServiceRegistered(kService).value()) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(kQuitPollMs));
  }
  return busError("the file manager did not quit");
}

Status DBusFileManager::launch() {
  auto bus = sessionBus();
  if (!bus) return busError("there is no session bus, so the desktop's file manager cannot be started");
  QDBusConnectionInterface* daemon = bus->interface();
  auto started = daemon->startService(kService);
  if (!started.isValid()) {
    return busError("no file manager can be started on this desktop: " + started.error().message().toStdString());
  }
  return {};
}

}  // namespace ml::appkit
