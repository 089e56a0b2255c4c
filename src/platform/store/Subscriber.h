#pragma once
// Follows a store's state: update() gets each new state on the queue the subscriber was added
// with (the main queue unless said otherwise), once when added and then after every event.
namespace ml::store {

template <class S>
class Subscriber {
 public:
  virtual ~Subscriber() = default;
  virtual void update(const S& state) = 0;
};

}  // namespace ml::store
