#pragma once
// Stand-ins for the desktop in appkit tests: a file manager that records what it is asked and an
// alert presenter that answers with a chosen button.
#include <deque>
#include <string>
#include <vector>

#include "appkit/FileManager.h"
#include "appkit/values/Alert.h"

namespace ml::appkit::testing {

class RecordingFileManager : public FileManager {
 public:
  foundation::Status showItems(const std::vector<std::filesystem::path>& items) override {
    calls.push_back("showItems");
    shown = items;
    return answer;
  }
  foundation::Status showItemProperties(const std::vector<std::filesystem::path>& items) override {
    calls.push_back("showItemProperties");
    shown = items;
    return answer;
  }
  foundation::Status quit() override {
    calls.push_back("quit");
    return answer;
  }
  foundation::Status launch() override {
    calls.push_back("launch");
    return answer;
  }

  std::vector<std::string> calls;
  std::vector<std::filesystem::path> shown;
  foundation::Status answer;
};

class AnsweringAlertPresenter : public AlertPresenter {
 public:
  int runModal(const Alert& alert) override {
    shown.push_back(alert);
    if (answers.empty()) return kFirstButtonReturn;
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::vector<Alert> shown;
  std::deque<int> answers;
};

}  // namespace ml::appkit::testing
