#pragma once
// Clears the classic creator code (ClearCreatorCommand) or type code (ClearTypeCommand) of every
// selected item, one item after another; an item whose attributes cannot be read or written is
// logged and skipped. Then LoadedDataInvalidated, so the window redraws.
#include "list/commands/ListCommand.h"

namespace ml::files {
class MutableAppleAttributes;
}

namespace ml::list {

class ClearCodeCommand : public ListCommand {
 public:
  void execute(const ListWindowState& state, ListStore& core) override;

 protected:
  // "creator code" or "type code", as the warnings name it.
  virtual const char* codeName() const = 0;
  virtual void clear(files::MutableAppleAttributes& record) const = 0;
};

class ClearCreatorCommand final : public ClearCodeCommand {
 protected:
  const char* codeName() const override { return "creator code"; }
  void clear(files::MutableAppleAttributes& record) const override;
};

class ClearTypeCommand final : public ClearCodeCommand {
 protected:
  const char* codeName() const override { return "type code"; }
  void clear(files::MutableAppleAttributes& record) const override;
};

}  // namespace ml::list
