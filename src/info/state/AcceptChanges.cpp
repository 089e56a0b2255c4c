#include "info/state/AcceptChanges.h"

#include <cerrno>
#include <string>
#include <vector>

#include "files/FileSystem.h"
#include "files/MutableAppleAttributes.h"
#include "files/MutableBasicAttributes.h"
#include "files/VisibleName.h"
#include "info/state/InfoWindowEvents.h"
#include "info/state/InfoWindowHost.h"
#include "info/state/SizelessViews.h"
#include "platform/logging/Log.h"
#include "rename/mover/MoveToNewName.h"
#include "shell/core/ApplicationEvents.h"

namespace ml::info {

using foundation::Error;
using foundation::Status;

namespace {

// What the user sees of a field in a refusal ("the owner").
const char* describedField(EditableField field) {
  switch (field) {
    case EditableField::name: return "the name";
    case EditableField::icon: return "the icon";
    case EditableField::tags: return "the tags";
    case EditableField::hiddenExtension: return "the hidden extension";
    case EditableField::nameLocked: return "the name lock";
    case EditableField::fileLocked: return "the lock";
    case EditableField::invisible: return "the invisible flag";
    case EditableField::stationary: return "the stationery flag";
    case EditableField::created: return "the creation date";
    case EditableField::modified: return "the modification date";
    case EditableField::accessed: return "the access date";
    case EditableField::owner: return "the owner";
    case EditableField::group: return "the group";
    case EditableField::ownerPermissions: return "the owner's access";
    case EditableField::groupPermissions: return "the group's access";
    case EditableField::globalPermissions: return "everyone's access";
    case EditableField::typeCode: return "the type code";
    case EditableField::creatorCode: return "the creator code";
  }
  return "a field";
}

std::string joined(const std::vector<EditableField>& fields) {
  std::string text;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) text += i + 1 == fields.size() ? " and " : ", ";
    text += describedField(fields[i]);
  }
  return text;
}

// The reason as the failure message shows it: a sentence.
std::string sentence(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
  return text;
}

// A new name must name an entry of the item's own folder.
bool isSingleComponent(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// The pending edits turned into the two records and a new name, or the reason they cannot be.
struct Plan {
  files::MutableBasicAttributes basic;
  files::MutableAppleAttributes finder;
  std::optional<std::string> newName;
  std::vector<EditableField> invalid;
  // The fields each record carries, named when writing that record fails.
  std::vector<EditableField> basicFields;
  std::vector<EditableField> finderFields;
};

// A write's failure as the user reads it: which attributes of which item, then why.
Error named(Error error, const std::vector<EditableField>& fields, const files::Path& path) {
  const std::string what = fields.empty() ? std::string("the attributes") : joined(fields);
  error.message = sentence(what + " of \u201C" + files::visibleName(path.url().filename().string()) +
                           "\u201D could not be set: " + error.message);
  return error;
}

void take(Plan& plan, EditableField field, const FieldValue& value, const files::Path& path) {
  auto flag = valueAs<bool>(value);
  auto date = valueAs<files::Date>(value);
  auto text = valueAs<std::string>(value);
  switch (field) {
    case EditableField::hiddenExtension:
    case EditableField::invisible:
    case EditableField::created:
    case EditableField::modified:
    case EditableField::accessed:
      plan.basicFields.push_back(field);
      break;
    case EditableField::typeCode:
    case EditableField::creatorCode:
      plan.finderFields.push_back(field);
      break;
    default:
      break;
  }
  switch (field) {
    case EditableField::name:
      if (text && isSingleComponent(*text)) {
        plan.newName = *text;
      } else {
        plan.invalid.push_back(field);
      }
      return;
    case EditableField::hiddenExtension:
      if (flag) plan.basic.setExtensionHidden(*flag); else plan.invalid.push_back(field);
      return;
    case EditableField::invisible:
      if (flag) plan.basic.setInvisible(*flag); else plan.invalid.push_back(field);
      return;
    case EditableField::created:
      if (date) plan.basic.setCreationDate(*date); else plan.invalid.push_back(field);
      return;
    case EditableField::modified:
      if (date) plan.basic.setLastModifiedDate(*date); else plan.invalid.push_back(field);
      return;
    case EditableField::accessed:
      if (date) plan.basic.setLastAccessedDate(*date); else plan.invalid.push_back(field);
      return;
    case EditableField::typeCode:
      if (!value || text) plan.finder.setTypeCode(text ? std::optional(*text) : std::nullopt);
      else plan.invalid.push_back(field);
      return;
    case EditableField::creatorCode:
      if (!value || text) plan.finder.setCreatorCode(text ? std::optional(*text) : std::nullopt);
      else plan.invalid.push_back(field);
      return;
    case EditableField::icon:
    case EditableField::tags:
    case EditableField::nameLocked:
    case EditableField::fileLocked:
    case EditableField::stationary:
    case EditableField::owner:
    case EditableField::group:
    case EditableField::ownerPermissions:
    case EditableField::groupPermissions:
    case EditableField::globalPermissions:
      LOG_WARNING("unhandled update. item=" << path.description() << " field=" << caseName(field)
                                           << " value=" << debugText(value));
      return;
  }
}

// Puts both attribute sets back as they were read; failures are logged and do not stop the other.
void rollback(const files::Path& path, const files::MutableBasicAttributes& basicBefore,
              const files::MutableAppleAttributes& finderBefore) {
  const auto& fs = path.fileSystem();
  files::MutableBasicAttributes basic = basicBefore;
  basic.setHasChanges(true);  // the write skips records without changes
  if (auto status = fs.updateBasicAttributes(path, basic); !status) {
    LOG_ERROR("failed to rollback basic attributes. path=" << path.description()
                                                          << " error=" << status.error().description());
  }
  if (auto status = fs.updateFinderAttributes(path, finderBefore); !status) {
    LOG_ERROR("failed to rollback finder attributes. path=" << path.description()
                                                           << " error=" << status.error().description());
  }
}

Status fail(store::Core<InfoWindowState>& core, const files::Path& item, Error error) {
  core.fire(ChangesFailed(item, error));
  return error;
}

}  // namespace

void AcceptChanges::execute(const InfoWindowState& state, store::Core<InfoWindowState>& core) {
  (void)apply(state, core);
}

Status AcceptChanges::apply(const InfoWindowState& state, store::Core<InfoWindowState>& core) {
  const auto shown = state.displayedPath();
  if (!shown) return {};
  const files::Path& path = *shown;
  const auto& fs = path.fileSystem();

  // Both views are needed before anything is written: they are what a rollback puts back.
  auto basicView = fs.basicAttributes(path);
  auto finderView = fs.finderAttributes(path);
  if (!basicView || !finderView) {
    return fail(core, path, Error::posix(ENOENT, "cannot read the attributes of " + path.description()));
  }

  // The records copy every member of the views once; the sizeless views keep a folder's total
  // size (a walk of everything below it, never written) out of that copy.
  const files::MutableBasicAttributes basicBefore{SizelessBasicView(*basicView)};
  const files::MutableAppleAttributes finderBefore{SizelessFinderView(*finderView)};
  Plan plan{basicBefore, finderBefore, std::nullopt, {}};
  for (const auto& [field, value] : state.changes) take(plan, field, value, path);

  // Edits nothing writes (their controls are read-only, so they come only from elsewhere) were
  // logged one by one in take(); they must not hold back the edits that can be written.
  if (!plan.invalid.empty()) {
    return fail(core, path, Error::posix(EINVAL, sentence(joined(plan.invalid) + " cannot be set to the value given")));
  }

  if (plan.basic.hasChanges()) {
    if (auto status = fs.updateBasicAttributes(path, plan.basic); !status) {
      rollback(path, basicBefore, finderBefore);
      return fail(core, path, named(status.error(), plan.basicFields, path));
    }
  }
  if (plan.finder.hasChanges()) {
    if (auto status = fs.updateFinderAttributes(path, plan.finder); !status) {
      rollback(path, basicBefore, finderBefore);
      return fail(core, path, named(status.error(), plan.finderFields, path));
    }
  }

  std::optional<files::Path> destination;
  if (plan.newName) {
    const files::Path parent = path.parent().value_or(fs.rootPath());
    destination = files::Path(parent.sharedFileSystem(), parent.url() / *plan.newName);
    // Through the application's one mover: it never replaces another item, and a change of
    // case alone also works on a volume that ignores case.
    if (auto status = rename::moveToNewName(path, *destination); !status) {
      LOG_ERROR("unable to rename file. path=" << path.description() << " destination=Optional("
                                               << destination->description()
                                               << ") error=" << status.error().description());
      rollback(path, basicBefore, finderBefore);
      return fail(core, path, status.error());
    }
  }

  core.fire(ChangesApplied(path, destination, state.changes));
  if (destination) {
    // Every other window showing the item (its rows in lists, other Info windows) follows the
    // new name, as after a rename from the rename dialog. This window has already taken it.
    if (auto host = state.window.lock()) {
      host->announce(std::make_shared<const shell::ApplicationEvents::ItemsRenamed>(
          shell::PathMapping{{path, *destination}}));
    }
  }
  return {};
}

}  // namespace ml::info
