#pragma once
// What every channel offers, the channel group and each channel unit alike: the enabled switch,
// channel delegates, and a pause lane of identifying objects.
#include <memory>

#include "beacon/core/Channel/TLEnable.h"

namespace ml::beacon {

class TLChannelDelegate;

// An object that pauses a channel. Compared by identity and held weakly: an object that goes
// away stops holding the channel paused the next time the lane is looked at.
using TLIdentifyingObject = std::shared_ptr<const void>;

class TLChannelProtocol : public TLEnable {
 public:
  // Delegates are held weakly; adding one twice keeps one entry. Thread-safe; a delegate added
  // here sees every log enqueued after the call returns.
  virtual void addDelegate(const std::shared_ptr<TLChannelDelegate>& delegate) = 0;
  virtual void removeDelegate(const std::shared_ptr<TLChannelDelegate>& delegate) = 0;
  // The channel stops sending while any object that paused it has not resumed it.
  virtual void pauseWithIdentifyingObject(const TLIdentifyingObject& identifyingObject) = 0;
  virtual void resumeWithIdentifyingObject(const TLIdentifyingObject& identifyingObject) = 0;
};

}  // namespace ml::beacon
