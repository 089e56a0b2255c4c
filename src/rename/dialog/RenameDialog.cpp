#include "rename/dialog/RenameDialog.h"

#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QStyle>

#include "appkit/LocalizableControls.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"
#include "rename/StrategyRule.h"
#include "rename/ToolkitWindow.h"
#include "rename/confirmation/RenameConfirmationDialog.h"
#include "rename/dialog/LeadingInteger.h"
#include "rename/dialog/PreviewRows.h"
#include "rename/dialog/PreviewTableModel.h"
#include "rename/dialog/PreviewUpdater.h"
#include "rename/dialog/RenameDialogEvents.h"
#include "rename/dialog/RenameDialogSubscribers.h"
#include "shell/core/ApplicationEvents.h"
#include "ui_RenameDialog.h"

namespace ml::rename {

namespace {

// The text fields say which setting they hold by this property (set in the interface file).
constexpr const char* kTagProperty = "tag";
enum TextFieldTag { patternTag = 0, replacementTag = 1, prefixTag = 2, suffixTag = 3, maxLengthTag = 4 };

// The mode popup's items carry these tags, in this order.
enum ModeTag { replaceText = 0, deleteText = 1, replaceCharacters = 2, deleteCharacters = 3, regularExpression = 4,
               noChange = 5 };

std::optional<ChangeMode> modeForTag(int tag) {
  switch (tag) {
    case replaceText: return ChangeMode::replace(false);
    case deleteText: return ChangeMode::remove(false);
    case replaceCharacters: return ChangeMode::replace(true);
    case deleteCharacters: return ChangeMode::remove(true);
    case regularExpression: return ChangeMode::regex();
    case noChange: return ChangeMode::none();
    default: return std::nullopt;
  }
}

std::string text(const QLineEdit* field) { return field ? field->text().toStdString() : std::string(); }

// Gives the popup's items their represented values, by index; a popup with fewer items gets as
// many as it has.
void setRepresentedObjects(QComboBox* popup, const std::vector<QVariant>& values) {
  if (!popup) return;
  for (int i = 0; i < popup->count() && i < static_cast<int>(values.size()); ++i) {
    popup->setItemData(i, values[static_cast<std::size_t>(i)]);
  }
}

// The represented value of the popup's selected item; invalid when none is selected or it has none.
QVariant selectedObject(const QComboBox* popup) {
  if (!popup || popup->currentIndex() < 0) return {};
  return popup->itemData(popup->currentIndex());
}

}  // namespace

RenameDialog::RenameDialog(std::vector<files::Path> items, shell::WindowContext context, dispatch::Clock& clock)
    : context_(context), reactor_(RenameDialogState(std::move(items))), clock_(clock) {}

RenameDialog::~RenameDialog() {
  // The widgets belong to the main thread; this may run elsewhere (the global store lets go of
  // closed windows on its own queue). Through the main queue, never Qt's own posting: this may
  // also run while the application shuts down, when only the main queue may still be posted to.
  dispatch::MainQueue::shared().async([window = window_] { delete window.data(); });
}

std::weak_ptr<RenameDialog> RenameDialog::weakSelf() {
  auto self = weak_from_this().lock();
  return std::static_pointer_cast<RenameDialog>(self);
}

QDialog* RenameDialog::window() {
  ML_ASSERT_MAIN_THREAD();
  if (!window_) {
    window_ = new QDialog();
    ui_ = std::make_unique<Ui::RenameDialog>();
    ui_->setupUi(window_);
    appkit::awakeLocalizableControls(*window_);
    windowDidLoad();
  }
  return window_;
}

const void* RenameDialog::windowIdentity() const { return window_.data(); }

void RenameDialog::windowDidLoad() {
  ML_ASSERT_MAIN_THREAD();
  if (auto self = weak_from_this().lock()) context_.announce(std::make_shared<const shell::ApplicationEvents::WindowOpened>(self));

  auto& ui = *ui_;
  dispatch::Queue& main = dispatch::MainQueue::shared();
  auto subscribe = [&](std::shared_ptr<store::Subscriber<RenameDialogState>> subscriber) {
    subscribers_.push_back(subscriber);
    reactor_.add(std::move(subscriber), main);
  };

  subscribe(std::make_shared<NameChangeInterfaceUpdater>(NameChangeInterfaceUpdater::Controls{
      ui.nameModificationType, ui.nameValue, ui.replacementValue, ui.matchLocations, ui.warningTextContainer,
      ui.warningText, ui.warningIcon, ui.occurancesAndLocationsContainer, ui.withLabel}));
  subscribe(std::make_shared<ViewToggler>(ui.prefixField, false, [](const RenameDialogState& s) { return s.prefix.has_value(); }));
  subscribe(std::make_shared<ViewToggler>(ui.suffixField, false, [](const RenameDialogState& s) { return s.suffix.has_value(); }));
  subscribe(std::make_shared<NameTrimUpdated>(ui.shortenNamesCheckbox));

  auto* model = new PreviewTableModel(reactor_.state().items(), ui.previewTable);
  ui.previewTable->setModel(model);
  subscribe(std::make_shared<PreviewUpdater>(model, clock_, main));
  // Case preservation belongs to character replacement only; the box is usable in that mode.
  subscribe(std::make_shared<ViewToggler>(ui.maintainCaseCheckbox, true, [](const RenameDialogState& s) {
    return s.mode == ChangeMode::replace(true);
  }));
  subscribe(std::make_shared<ApplicableItemsUpdater>(ui.applicableCountLabel));

  setRepresentedObjects(ui.nameModificationType, {replaceText, deleteText, replaceCharacters, deleteCharacters,
                                                  regularExpression, noChange});
  setRepresentedObjects(ui.caseTransformPopup, {QVariant(), static_cast<int>(CaseFormat::lower),
                                                static_cast<int>(CaseFormat::upper), static_cast<int>(CaseFormat::title)});
  setRepresentedObjects(ui.replacementOccurances, {static_cast<int>(ReplacementMode::first),
                                                   static_cast<int>(ReplacementMode::last),
                                                   static_cast<int>(ReplacementMode::all)});
  setRepresentedObjects(ui.matchLocations, {static_cast<int>(MatchLocation::everywhere),
                                            static_cast<int>(MatchLocation::beginning),
                                            static_cast<int>(MatchLocation::end)});

  if (ui.executeButton) subscribe(std::make_shared<ExecuteButtonToggle>(ui.executeButton, ui.executeProblemLabel));

  ui.warningIcon->setPixmap(window_->style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(16, 16));
  QHeaderView* header = ui.previewTable->horizontalHeader();
  header->setSectionResizeMode(PreviewTableModel::original, QHeaderView::Stretch);
  header->setSectionResizeMode(PreviewTableModel::action, QHeaderView::Fixed);
  header->resizeSection(PreviewTableModel::action, 24);
  header->setSectionResizeMode(PreviewTableModel::updated, QHeaderView::Stretch);
  ui.previewTable->verticalHeader()->hide();
  connectActions();
}

void RenameDialog::connectActions() {
  ML_ASSERT_MAIN_THREAD();
  auto& ui = *ui_;
  auto weak = weakSelf();
  // Every action runs only while the controller lives; the widgets may outlive it briefly.
  auto on = [weak](auto action) {
    return [weak, action](auto&&...) {
      if (auto self = weak.lock()) action(*self);
    };
  };

  QObject::connect(ui.nameModificationType, &QComboBox::activated, window_, on([](RenameDialog& self) {
    if (auto mode = modeForTag(selectedObject(self.ui_->nameModificationType).toInt())) {
      self.fire(std::make_shared<const NameChangeModeUpdated>(*mode));
    }
  }));
  QObject::connect(ui.prefixPopup, &QComboBox::activated, window_, on([](RenameDialog& self) {
    self.fire(std::make_shared<const PrefixChanged>(self.ui_->prefixPopup->currentIndex() == 0, text(self.ui_->prefixField)));
  }));
  QObject::connect(ui.suffixPopup, &QComboBox::activated, window_, on([](RenameDialog& self) {
    self.fire(std::make_shared<const SuffixChanged>(self.ui_->suffixPopup->currentIndex() == 0, text(self.ui_->suffixField)));
  }));
  QObject::connect(ui.shortenNamesCheckbox, &QAbstractButton::clicked, window_, on([](RenameDialog& self) {
    self.fire(std::make_shared<const TrimNameToggled>(self.ui_->shortenNamesCheckbox->isChecked()));
  }));
  QObject::connect(ui.caseSensitiveCheckbox, &QAbstractButton::clicked, window_, on([](RenameDialog& self) {
    self.fire(std::make_shared<const CaseSensitivityToggled>(self.ui_->caseSensitiveCheckbox->isChecked()));
  }));
  QObject::connect(ui.preserveExtensionsCheckbox, &QAbstractButton::clicked, window_, on([](RenameDialog& self) {
    self.fire(std::make_shared<const ExtensionPreservationChanged>(self.ui_->preserveExtensionsCheckbox->isChecked()));
  }));
  QObject::connect(ui.caseTransformPopup, &QComboBox::activated, window_, on([](RenameDialog& self) {
    QVariant format = selectedObject(self.ui_->caseTransformPopup);
    self.fire(std::make_shared<const CaseFormatChanged>(
        format.isValid() ? std::optional<CaseFormat>(static_cast<CaseFormat>(format.toInt())) : std::nullopt));
  }));
  // Items without a represented value (none are offered) change nothing.
  QObject::connect(ui.replacementOccurances, &QComboBox::activated, window_, on([](RenameDialog& self) {
    QVariant mode = selectedObject(self.ui_->replacementOccurances);
    if (mode.isValid()) self.fire(std::make_shared<const ReplacementModeChanged>(static_cast<ReplacementMode>(mode.toInt())));
  }));
  QObject::connect(ui.matchLocations, &QComboBox::activated, window_, on([](RenameDialog& self) {
    QVariant location = selectedObject(self.ui_->matchLocations);
    if (location.isValid()) {
      self.fire(std::make_shared<const MatchLocationsChanged>(static_cast<MatchLocation>(location.toInt())));
    }
  }));
  for (QLineEdit* field : {ui.nameValue, ui.replacementValue, ui.prefixField, ui.suffixField, ui.maxNameLengthField}) {
    QObject::connect(field, &QLineEdit::textEdited, window_,
                     on([field](RenameDialog& self) { self.controlTextDidChange(field); }));
  }
  QObject::connect(ui.executeButton, &QAbstractButton::clicked, window_, on([](RenameDialog& self) { self.execute(); }));
  QObject::connect(ui.cancelButton, &QAbstractButton::clicked, window_, on([](RenameDialog& self) { self.cancel(); }));
  QObject::connect(window_, &QDialog::finished, window_, [weak](int response) {
    if (auto self = weak.lock()) self->finished(response);
  });
}

void RenameDialog::controlTextDidChange(QLineEdit* field) {
  ML_ASSERT_MAIN_THREAD();
  const std::string value = text(field);
  switch (field->property(kTagProperty).toInt()) {
    case patternTag: fire(std::make_shared<const PatternUpdated>(value)); break;
    case replacementTag:
      fire(std::make_shared<const ReplacementValueUpdated>(value.empty() ? std::nullopt : std::optional<std::string>(value)));
      break;
    case prefixTag: fire(std::make_shared<const PrefixChanged>(true, value)); break;
    case suffixTag: fire(std::make_shared<const SuffixChanged>(true, value)); break;
    case maxLengthTag:
      fire(std::make_shared<const MaxNameLengthUpdated>(value.empty() ? std::nullopt
                                                                      : std::optional<std::int64_t>(leadingInteger(value))));
      break;
    default: break;
  }
}

void RenameDialog::show() {
  ML_ASSERT_MAIN_THREAD();
  LOG_DEBUG("showing rename dialog...");
  QDialog* dialog = window();
  isSheet_ = false;
  // A window of its own: it keeps the application's launcher away while it is open.
  dialog->setWindowFlags((dialog->windowFlags() & ~Qt::WindowType_Mask) | Qt::Window);
  dialog->setWindowModality(Qt::NonModal);
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

void RenameDialog::beginSheet(const std::shared_ptr<shell::WindowController>& parent, std::function<void(int)> ended) {
  ML_ASSERT_MAIN_THREAD();
  QDialog* dialog = window();
  QWidget* parentWindow = parent ? toolkitWindow(*parent) : nullptr;
  if (parentWindow) dialog->setParent(parentWindow, Qt::Dialog);
  isSheet_ = true;
  ended_ = std::move(ended);
  dialog->open();
}

std::shared_ptr<const shell::RenameRule> RenameDialog::rule() const {
  ML_ASSERT_MAIN_THREAD();
  auto strategy = reactor_.state().strategy();
  if (!strategy) return nullptr;
  return std::make_shared<StrategyRule>(std::move(strategy));
}

void RenameDialog::execute() {
  ML_ASSERT_MAIN_THREAD();
  if (!window_) {
    LOG_WARNING("no window to display sheet on");
    return;
  }
  if (isSheet_) {
    window_->done(shell::kRenameDialogContinueResponse);
    return;
  }
  // On its own, the dialog confirms on its own window.
  auto strategy = reactor_.state().strategy();
  if (!strategy) {
    LOG_WARNING("rename dialog asked to rename without a rule; nothing renamed");
    return;
  }
  auto rule = std::make_shared<const StrategyRule>(std::move(strategy));
  confirmation_ = std::make_shared<RenameConfirmationDialog>(itemsWithNewNames(reactor_.state().items(), *rule), rule, context_);
  confirmation_->beginSheet(window_.data(), [weak = weakSelf()] {
    if (auto self = weak.lock()) self->confirmationEnded();
  });
}

void RenameDialog::cancel() {
  ML_ASSERT_MAIN_THREAD();
  if (!window_) return;
  if (isSheet_) {
    window_->done(0);
  } else {
    window_->close();
  }
}

void RenameDialog::confirmationEnded() {
  ML_ASSERT_MAIN_THREAD();
  auto confirmation = std::move(confirmation_);
  if (!confirmation) return;
  shell::PathMapping renamed = confirmation->results();
  if (renamed.empty()) return;
  context_.announce(std::make_shared<const shell::ApplicationEvents::ItemsRenamed>(std::move(renamed)));
  // The items have new paths now: the settings no longer describe anything on disk.
  if (window_) window_->close();
}

void RenameDialog::finished(int response) {
  ML_ASSERT_MAIN_THREAD();
  auto self = weak_from_this().lock();  // the announcement below may drop the last other reference
  if (self) context_.announce(std::make_shared<const shell::ApplicationEvents::WindowClosed>(self));
  if (auto ended = std::move(ended_)) {
    ended_ = nullptr;
    ended(response);
  }
}

}  // namespace ml::rename
