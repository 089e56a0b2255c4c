#include "appkit/DesktopWorkspace.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <system_error>
#include <vector>

#include "appkit/ItemPath.h"
#include "appkit/trashinfo/TrashInfo.h"
#include "platform/logging/Log.h"

namespace ml::appkit {

namespace fs = std::filesystem;
using foundation::Error;
using foundation::Status;

namespace {

// Starts `program` (looked up in PATH) with `argument` as its one argument, detached: a
// short-lived child forks the program and exits, so the program is nobody's child here. The
// argument goes as the bytes it is (the toolkit's process launcher would encode it as text and
// lose a name that is not UTF-8). Fails with the errno of the fork or of the exec, which the
// program's process reports through a pipe that a successful exec closes.
Status startDetached(const std::string& program, const std::string& argument) {
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return Error::posix(errno, "start " + program);
  // Everything the children use is ready before the fork: after it only system calls are made.
  std::string programCopy = program, argumentCopy = argument;
  std::vector<char*> argv{programCopy.data(), argumentCopy.data(), nullptr};
  const pid_t child = ::fork();
  if (child < 0) {
    const int error = errno;
    ::close(report[0]);
    ::close(report[1]);
    return Error::posix(error, "start " + program);
  }
  if (child == 0) {
    const pid_t grandchild = ::fork();
    if (grandchild == 0) {
      ::setsid();
      ::execvp(argv[0], argv.data());
    }
    if (grandchild <= 0) {
      const int error = errno;
      [[maybe_unused]] const auto written = ::write(report[1], &error, sizeof error);
    }
    ::_exit(grandchild == 0 ? 127 : 0);
  }
  ::close(report[1]);
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof error)) return Error::posix(error, "start " + program);
  return {};
}

}  // namespace

std::string fileUrlText(const fs::path& item) { return "file://" + encodeTrashPath(canonicalItemPath(item).native()); }

QUrl DesktopWorkspace::fileUrl(const fs::path& item) {
  return QUrl::fromEncoded(QByteArray::fromStdString(fileUrlText(item)), QUrl::StrictMode);
}

DesktopWorkspace::DesktopWorkspace(std::shared_ptr<FileManager> fileManager, std::shared_ptr<const FreedesktopTrash> trash,
                                   dispatch::Queue& main, dispatch::Queue& background, UrlOpener opener)
    : fileManager_(std::move(fileManager)),
      trash_(std::move(trash)),
      main_(main),
      background_(background),
      opener_(opener ? std::move(opener) : UrlOpener([](const QUrl& url) { return QDesktopServices::openUrl(url); })) {}

void DesktopWorkspace::open(const fs::path& item, const std::optional<std::string>& application) {
  const std::string appName = application && !application->empty() ? *application : "(default)";
  // The handlers start another program and answer before it looks at the item: an item that is
  // not there is refused here, where it can still be said.
  std::error_code missing;
  if (!fs::exists(fs::symlink_status(item, missing))) {
    LOG_ERROR("failed to open item. path=" << item.string() << " application=" << appName
                                           << " error=" << Error::posix(missing ? missing.value() : ENOENT).message);
    return;
  }
  if (application && !application->empty()) {
    // A named application is a program to start with the item's path as its argument.
    background_.async([item, program = *application] {
      if (auto started = startDetached(program, item.native()); !started) {
        LOG_ERROR("failed to open item. path=" << item.string() << " application=" << program
                                               << " error=" << started.error().message);
      }
    });
    return;
  }
  main_.async([item, opener = opener_] {
    const QUrl url = fileUrl(item);
    if (!opener(url)) {
      LOG_ERROR("failed to open item. path=" << item.string() << " application=(default) url="
                                             << url.toEncoded().toStdString());
    }
  });
}

void DesktopWorkspace::reveal(const std::vector<fs::path>& items) {
  auto shown = fileManager_->showItems(items);
  if (shown) return;
  LOG_WARNING("file manager did not reveal items, opening their folders. error=" << shown.error());
  std::vector<fs::path> folders;
  std::set<fs::path> seen;
  for (const auto& item : items) {
    if (seen.insert(item.parent_path()).second) folders.push_back(item.parent_path());
  }
  main_.async([folders, opener = opener_] {
    for (const auto& folder : folders) {
      if (!opener(fileUrl(folder))) LOG_ERROR("failed to open folder. path=" << folder.string());
    }
  });
}

std::pair<std::vector<fs::path>, std::optional<Error>> DesktopWorkspace::recycleNow(const FreedesktopTrash& trash,
                                                                                   const std::vector<fs::path>& items,
                                                                                   const RecycleProgress& progress) {
  // The message names the first few failures and counts the rest: one trash of 20,000 items
  // that all fail must not make a message (and log line) of megabytes.
  constexpr std::size_t kNamed = 5;
  std::vector<fs::path> recycled;
  std::vector<std::string> named;
  std::size_t failures = 0;
  std::optional<Error> firstError;
  for (const auto& item : items) {
    // Only between items: each one is moved with its record, or not at all.
    if (progress.stopRequested && progress.stopRequested()) {
      LOG_INFO("trash stopped. items done=" << recycled.size() + failures << " of " << items.size());
      break;
    }
    auto result = trash.trash(item);
    if (progress.itemDone) progress.itemDone();
    if (result) {
      recycled.push_back(item);
      continue;
    }
    if (!firstError) firstError = result.error();
    if (++failures <= kNamed) named.push_back(item.string() + " (" + result.error().message + ")");
  }
  if (!firstError) return {std::move(recycled), std::nullopt};
  if (failures > 1) {
    std::string text = std::to_string(failures) + " items could not be moved to the Trash: ";
    for (std::size_t i = 0; i < named.size(); ++i) text += (i ? ", " : "") + named[i];
    if (failures > named.size()) text += ", and " + std::to_string(failures - named.size()) + " more";
    firstError->message = text;
  }
  return {std::move(recycled), firstError};
}

void DesktopWorkspace::recycle(std::vector<fs::path> items, RecycleCompletion completion) {
  recycleWithProgress(std::move(items), {}, std::move(completion));
}

void DesktopWorkspace::recycleWithProgress(std::vector<fs::path> items, RecycleProgress progress,
                                           RecycleCompletion completion) {
  // The trash is captured, not this: the work may outlive the workspace.
  background_.async([trash = trash_, items = std::move(items), progress = std::move(progress),
                     completion = std::move(completion)] {
    auto [recycled, error] = recycleNow(*trash, items, progress);
    if (completion) completion(std::move(recycled), std::move(error));
  });
}

}  // namespace ml::appkit
