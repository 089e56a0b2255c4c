#pragma once
// The open panel itself: Qt's own (not the desktop portal's) file dialog, so that hidden files
// can be listed and files and folders can be chosen together, which the desktop dialogs do not
// offer. Shown modeless; emits chosen() with the selected items or nothing on cancel, then
// deletes itself.
#include <QFileDialog>
#include <filesystem>
#include <vector>

namespace ml::appkit {

class OpenPanel : public QFileDialog {
  Q_OBJECT
 public:
  struct Settings {
    bool multipleSelection = false;
    bool directoriesChoosable = false;
    bool filesChoosable = true;
  };

  explicit OpenPanel(Settings settings, QWidget* parent = nullptr);

  const Settings& settings() const { return settings_; }
  // Makes `items` the panel's selection (they must be in one folder), as a user's click would.
  void selectItems(const std::vector<std::filesystem::path>& items);

 signals:
  // Emitted once when the user confirms; `items` in the panel's order, never empty.
  void chosen(std::vector<std::filesystem::path> items);

 public slots:
  void accept() override;

 private:
  Settings settings_;
};

}  // namespace ml::appkit
