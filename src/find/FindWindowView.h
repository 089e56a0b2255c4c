#pragma once
// The widgets of a find window: the four criterion lines, the location segments, the result
// choice and result-cut popups, the search button, what a search that showed nothing came to, and
// the progress sheet. Controls carry object
// names so the controller and the tests find them. A main window, so it has the application's menus
// like every other window. Main thread; deleted by its controller.
#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QWidget>
#include <functional>

class QButtonGroup;
class QComboBox;

namespace ml::find {

class FindWindowView final : public QMainWindow {
 public:
  FindWindowView();

  QWidget* nameRowContainer() const { return nameRow_; }
  QWidget* extensionRowContainer() const { return extensionRow_; }
  QWidget* packageRowContainer() const { return packageRow_; }
  QWidget* itemTypeRowContainer() const { return itemTypeRow_; }

  QButtonGroup* searchLocationSegmentedButton() const { return locations_; }
  QPushButton* locationSegment(int index) const;
  QComboBox* resultActionPopup() const { return resultAction_; }
  QComboBox* resultSizePopup() const { return resultSize_; }
  QPushButton* searchButton() const { return search_; }
  // What the last search came to when it showed nothing (nothing found); empty otherwise.
  QLabel* searchOutcomeLabel() const { return outcome_; }

  QDialog* progressSheetWindow() const { return sheet_; }
  QLabel* progressSearchLocation() const { return sheetLocation_; }
  QLabel* progressItemsFoundLabel() const { return sheetCount_; }
  QPushButton* showResultsButton() const { return showResults_; }
  QPushButton* cancelSearchButton() const { return cancel_; }

  void setWillClose(std::function<void()> willClose) { willClose_ = std::move(willClose); }

  // Why a place (a location segment, or the search of the state's place) cannot be searched.
  static QString unsearchableLocationTip();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* nameRow_;
  QWidget* extensionRow_;
  QWidget* packageRow_;
  QWidget* itemTypeRow_;
  QButtonGroup* locations_;
  QComboBox* resultAction_;
  QComboBox* resultSize_;
  QPushButton* search_;
  QLabel* outcome_;
  QDialog* sheet_;
  QLabel* sheetLocation_;
  QLabel* sheetCount_;
  QPushButton* showResults_;
  QPushButton* cancel_;
  std::function<void()> willClose_;
};

}  // namespace ml::find
