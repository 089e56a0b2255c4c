// Marrowlane's entry: the composition root starts the application (or hands the launch to the
// running one).
#include "app/ApplicationMain.h"

int main(int argc, char** argv) { return ml::app::runApplication(argc, argv); }
