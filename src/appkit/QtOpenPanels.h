#pragma once
// Open panels shown with OpenPanel. The several-items and folder panels are made on the main
// queue and call back on the background queue, as OpenPanels promises.
#include "appkit/OpenPanels.h"
#include "platform/dispatch/Queue.h"

namespace ml::appkit {

class OpenPanel;

class QtOpenPanels final : public OpenPanels {
 public:
  // Neither queue is owned; both must outlive the panels.
  QtOpenPanels(dispatch::Queue& main, dispatch::Queue& background);

  void chooseFile(bool allowDirectories, OneItem callback) override;
  void chooseFiles(bool allowDirectories, bool allowFiles, Items callback) override;
  void chooseDirectory(OneItem callback) override;

  // The panel most recently shown and still open (tests answer it), or null.
  static OpenPanel* currentPanel();

 private:
  dispatch::Queue& main_;
  dispatch::Queue& background_;
};

}  // namespace ml::appkit
