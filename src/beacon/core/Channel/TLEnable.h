#pragma once
// The switch shared by channels and ingestions: on, or off with or without dropping what is
// stored and pending.
namespace ml::beacon {

class TLEnable {
 public:
  virtual ~TLEnable() = default;
  // Turning off with `deleteDataOnDisabled` also drops the stored or pending data; turning off
  // without it keeps the data for when the switch is turned on again.
  virtual void setEnabled(bool isEnabled, bool deleteDataOnDisabled) = 0;
};

}  // namespace ml::beacon
