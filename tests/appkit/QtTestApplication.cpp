// One QApplication for the whole suite (offscreen platform, set by the test runner), made when
// the tests start and gone when they end. Shared by the shell suite as well. Its thread is the
// main thread, as the application's is (the windows assert their thread rules against it).
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "platform/dispatch/MainQueue.h"

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
    ml::dispatch::MainQueue::markCurrentThreadAsMain();
    QApplication::setQuitOnLastWindowClosed(false);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "marrowlane-test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

// gtest owns registered environments.
const ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
