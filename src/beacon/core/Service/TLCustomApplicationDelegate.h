#pragma once
// What a telemetry service may hear of the application's lifecycle through the application
// forwarder. Every callback has an empty default. Called on the thread the application delivers
// its lifecycle on (the main thread).
namespace ml::beacon {

class TLCustomApplicationDelegate {
 public:
  virtual ~TLCustomApplicationDelegate() = default;
  virtual void applicationDidFinishLaunching() {}
  virtual void applicationDidBecomeActive() {}
  virtual void applicationDidResignActive() {}
  virtual void applicationWillTerminate() {}
};

}  // namespace ml::beacon
