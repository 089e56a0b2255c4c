#include "app/SharedApplication.h"

#include <QDesktopServices>
#include <QUrl>
#include <filesystem>

#include "appkit/ActivationWatcher.h"
#include "appkit/ItemPath.h"
#include "appkit/Workspace.h"
#include "beacon/core/Service/TLAppDelegateForwarder.h"
#include "platform/logging/Log.h"

namespace ml::app {

namespace fs = std::filesystem;

void ApplicationLifecycle::applicationDidFinishLaunching() {
  beacon::TLAppDelegateForwarder::sharedInstance()->applicationDidFinishLaunching();
}

void ApplicationLifecycle::applicationDidBecomeActive() {
  beacon::TLAppDelegateForwarder::sharedInstance()->applicationDidBecomeActive();
}

void ApplicationLifecycle::applicationDidResignActive() {
  beacon::TLAppDelegateForwarder::sharedInstance()->applicationDidResignActive();
}

void ApplicationLifecycle::applicationWillTerminate() {
  beacon::TLAppDelegateForwarder::sharedInstance()->applicationWillTerminate();
}

SharedApplication::SharedApplication(UrlOpener opener) : opener_(std::move(opener)) {
  if (!opener_) opener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

bool SharedApplication::isHidden() const { return appkit::ActivationWatcher::isApplicationHidden(); }

bool SharedApplication::openUrl(const std::string& url) {
  QUrl parsed(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())), QUrl::StrictMode);
  if (!parsed.isValid() || parsed.scheme().isEmpty()) {
    LOG_WARNING("not opening text that is no URL. url=" << url);
    return false;
  }
  if (parsed.scheme().compare(QStringLiteral("file"), Qt::CaseInsensitive) == 0) {
    // Read from the text itself, byte for byte: the item's name need not be UTF-8.
    auto item = appkit::localPathOfFileUrl(url);
    if (!item) {
      LOG_WARNING("not opening a file URL that names no local item. url=" << url);
      return false;
    }
    std::error_code error;
    if (fs::symlink_status(*item, error).type() == fs::file_type::not_found) {
      LOG_WARNING("not opening a file URL whose item does not exist. url=" << url);
      return false;
    }
    // The workspace's form of the item's URL: its bytes kept, whatever the text's encoding was.
    const std::string itemUrl = appkit::fileUrlText(*item);
    if (!opener_(QUrl::fromEncoded(QByteArray::fromStdString(itemUrl), QUrl::StrictMode))) {
      LOG_WARNING("the desktop did not open the item. url=" << url << " item_url=" << itemUrl);
      return false;
    }
    return true;
  }
  if (!opener_(parsed)) {
    LOG_WARNING("the desktop did not open the URL. url=" << url);
    return false;
  }
  return true;
}

}  // namespace ml::app
