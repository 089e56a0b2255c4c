#pragma once
// The application's start: makes the Qt application, hands the launch over to an instance that
// already runs (and returns at once) or else wires the desktop services, the delegate, the main
// menu and the launcher window, runs the launch steps and the event loop.
namespace ml::shell {

// Returns the process's exit code.
int runApplication(int argc, char** argv);

}  // namespace ml::shell
