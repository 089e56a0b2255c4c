#pragma once
// The application's composition root: makes the Qt application, hands the launch over to an
// instance that already runs (and returns at once) or else wires the desktop services, the
// telemetry client, the window families, the delegate, the main menu and the launcher window,
// runs the launch steps and the event loop. The only place that knows every layer.
namespace ml::app {

// Returns the process's exit code.
int runApplication(int argc, char** argv);

}  // namespace ml::app
