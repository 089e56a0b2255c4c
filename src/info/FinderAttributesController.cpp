#include "info/FinderAttributesController.h"

#include "info/BoundedTextView.h"
#include "rename/mover/RenameFailure.h"

#include <QMenu>

#include "appkit/LocalizableMenuItem.h"
#include "appkit/Localization.h"
#include "files/FileSystem.h"
#include "files/Files.h"
#include "files/HfsResourceFork.h"
#include "files/format/FileSizeFormatter.h"
#include "info/CloneCodes.h"
#include "info/PaneSupport.h"
#include "info/state/InfoWindowEvents.h"
#include "platform/dispatch/GlobalPool.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"
#include "ui_FinderAttributesController.h"

namespace ml::info {

namespace {

const QString kNoCode = QStringLiteral("----");

// The pending value of a flag, or the item's own.
bool flagShown(const InfoWindowState& state, EditableField field, bool current) {
  const FieldValue* value = state.change(field);
  const bool* pending = value ? valueAs<bool>(*value) : nullptr;
  return pending ? *pending : current;
}

}  // namespace

FinderAttributesController::FinderAttributesController(QWidget* parent)
    : appkit::TolvekViewController(parent), ui_(std::make_unique<Ui::FinderAttributesController>()) {
  ui_->setupUi(this);
  keepMarkerSpace(*this);
  // A long comment scrolls after a few lines rather than being cut or squeezing the rows below.
  commentsView_ = new BoundedTextView(4, this);
  delete ui_->finderLayout->replaceWidget(ui_->commentsField, commentsView_);
  commentsView_->setLabel(*ui_->commentsField);
  for (QCheckBox* box : {ui_->stationaryCheckbox, ui_->nameLockedCheckbox, ui_->lockedCheckbox}) {
    connect(box, &QCheckBox::clicked, this, &FinderAttributesController::onFlagToggled);
    // Nothing writes these flags back to the item: they are shown, not offered for editing.
    box->setEnabled(false);
  }
  auto* menu = new QMenu(ui_->cloneCodesButton);
  auto addItem = [&](const char* title, void (FinderAttributesController::*action)()) {
    auto* item = new appkit::LocalizableMenuItem(QString::fromUtf8(title), menu);
    menu->addAction(item);
    connect(item, &QAction::triggered, this, action);
  };
  addItem("File Type from\u2026", &FinderAttributesController::copyFileType);
  addItem("Creator from\u2026", &FinderAttributesController::copyCreator);
  addItem("Type and Creator from\u2026", &FinderAttributesController::copyCreatorAndFileType);
  ui_->cloneCodesButton->setMenu(menu);
  finishLoading();
}

FinderAttributesController::~FinderAttributesController() = default;

void FinderAttributesController::update(const InfoWindowState& state) {
  ML_ASSERT_MAIN_THREAD();
  const auto item = state.displayedPath();
  if (!item) return;
  const auto& fs = item->fileSystem();
  const auto finder = fs.finderAttributes(*item);
  if (!finder) return;  // the item has gone; the next redraw of another item fills the pane

  const auto comment = files::Files::comment(*item);
  ui_->backupDatePopup->clear();
  ui_->backupDatePopup->addItem(appkit::localizedText("No Backup Date"));

  const bool plainFile = files::Files::type(*item) == files::FileType::normal;
  showPlainFileDetails(plainFile);
  if (plainFile) {
    const FieldValue* pendingCreator = state.change(EditableField::creatorCode);
    const FieldValue* pendingType = state.change(EditableField::typeCode);
    auto codeShown = [](const FieldValue* pending, std::optional<std::string> current) {
      if (!pending) return current;
      const auto* text = valueAs<std::string>(*pending);
      return text ? std::optional(*text) : std::nullopt;
    };
    showCode(*ui_->creatorCodeField, codeShown(pendingCreator, finder->creatorCode()), pendingCreator != nullptr);
    showCode(*ui_->typeCodeField, codeShown(pendingType, finder->typeCode()), pendingType != nullptr);

    // The data fork alone: the resource fork has a field of its own, and the total of both is
    // the basic pane's size.
    files::FileSizeFormatter formatter;
    ui_->dataForkSizeField->setText(qt(formatter.format(finder->dataSize())));

    auto fork = files::resourceFork(finder);
    if (!fork) {
      ui_->versionField->setText(appkit::localizedText("<no version information available>"));
      ui_->resourceForkSizeField->setText(appkit::localizedText("No resource fork"));
    } else {
      auto version = fork->version();
      ui_->versionField->setText(version ? qt(*version) : appkit::localizedText("<no version information available>"));
      const auto resourceSize = finder->resourceSize();
      ui_->resourceForkSizeField->setText(qt(formatter.format(resourceSize.value_or(files::FileSize::unknown()))));
    }
  } else {
    // Folders, packages, aliases and links have no codes; the texts of a file shown before must
    // not stay behind.
    showCode(*ui_->creatorCodeField, std::nullopt, false);
    showCode(*ui_->typeCodeField, std::nullopt, false);
  }

  ui_->aliasCheckbox->setChecked(finder->isAlias());
  ui_->packageCheckbox->setChecked(finder->isPackage());

  ui_->stationaryCheckbox->setChecked(flagShown(state, EditableField::stationary, finder->isStationary()));
  ui_->stationaryMarker->setVisible(state.hasChange(EditableField::stationary));
  ui_->nameLockedCheckbox->setChecked(flagShown(state, EditableField::nameLocked, finder->isNameLocked()));
  ui_->nameLockedMarker->setVisible(state.hasChange(EditableField::nameLocked));
  ui_->lockedCheckbox->setChecked(flagShown(state, EditableField::fileLocked, finder->isLocked()));
  ui_->lockedMarker->setVisible(state.hasChange(EditableField::fileLocked));

  // Long unbroken runs (a pasted URL) get break opportunities, so the field wraps them.
  ui_->commentsField->setText(comment ? qt(rename::breakableText(*comment)) : QString());
  commentsView_->refit();
}

void FinderAttributesController::showPlainFileDetails(bool shown) {
  for (QWidget* widget : std::initializer_list<QWidget*>{ui_->dataForkSizeLabel, ui_->dataForkSizeField,
                                                          ui_->resourceForkSizeLabel, ui_->resourceForkSizeField,
                                                          ui_->versionLabel, ui_->versionField}) {
    widget->setVisible(shown);
  }
}

// The code as the control's only text ("----" for none), disabled: codes change only by cloning.
void FinderAttributesController::showCode(QWidget& control, const std::optional<std::string>& code, bool pending) {
  auto* box = qobject_cast<QComboBox*>(&control);
  box->clear();
  box->addItem(code ? qt(*code) : kNoCode);
  if (box->isEditable()) box->setEditText(code ? qt(*code) : kNoCode);
  box->setEnabled(false);
  QWidget* marker = box == ui_->creatorCodeField ? ui_->creatorCodeChangedMarker : ui_->typeCodeChangedMarker;
  marker->setVisible(pending);
}

void FinderAttributesController::onFlagToggled() {
  ML_ASSERT_MAIN_THREAD();
  auto* box = qobject_cast<QCheckBox*>(sender());
  if (!box) return;
  if (auto field = fieldOf(box)) fire(FieldUpdated(*field, box->isChecked()));
}

void FinderAttributesController::copyFileType() { fire(std::make_shared<CloneFileType>()); }
void FinderAttributesController::copyCreator() { fire(std::make_shared<CloneCreator>()); }
void FinderAttributesController::copyCreatorAndFileType() { fire(std::make_shared<CloneTypeAndCreator>()); }

}  // namespace ml::info
