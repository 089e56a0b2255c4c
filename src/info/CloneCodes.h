#pragma once
// Take the type code, the creator code or both from an item the user chooses in an open panel
// (folders allowed) and make them pending edits of the shown item. A code the chosen item lacks
// (or whose attributes cannot be read) is sent as an absent value: the shown item is to have no
// such code. A cancelled panel changes nothing.
#include "info/state/InfoWindowState.h"
#include "platform/store/Command.h"

namespace ml::info {

enum class ClonedCodes { fileType, creator, typeAndCreator };

class CloneCodes : public store::Command<InfoWindowState> {
 public:
  explicit CloneCodes(ClonedCodes codes) : codes_(codes) {}
  void execute(const InfoWindowState& state, store::Core<InfoWindowState>& core) override;
  ClonedCodes codes() const { return codes_; }

 private:
  ClonedCodes codes_;
};

struct CloneFileType final : CloneCodes {
  CloneFileType() : CloneCodes(ClonedCodes::fileType) {}
};
struct CloneCreator final : CloneCodes {
  CloneCreator() : CloneCodes(ClonedCodes::creator) {}
};
struct CloneTypeAndCreator final : CloneCodes {
  CloneTypeAndCreator() : CloneCodes(ClonedCodes::typeAndCreator) {}
};

}  // namespace ml::info
