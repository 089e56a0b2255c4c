#pragma once
// Listener of an ingestion: hears when it stops sending (network gone, switched off), when it
// sends again, and when the server answered in a way that must end all sending and drop the
// stored logs. Every callback has an empty default. Called on the ingestion's own thread with no
// lock held; like a completion, a callback only hands its work over to its own queue.
namespace ml::beacon {

class TLIngestionProtocol;

class TLIngestionDelegate {
 public:
  virtual ~TLIngestionDelegate() = default;
  virtual void ingestionDidPause(TLIngestionProtocol& ingestion) { (void)ingestion; }
  virtual void ingestionDidResume(TLIngestionProtocol& ingestion) { (void)ingestion; }
  virtual void ingestionDidReceiveFatalError(TLIngestionProtocol& ingestion) { (void)ingestion; }
};

}  // namespace ml::beacon
