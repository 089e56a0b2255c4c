// Marrowlane's entry: the shell starts the application (or hands the launch to the running one).
#include "shell/ApplicationMain.h"

int main(int argc, char** argv) { return ml::shell::runApplication(argc, argv); }
