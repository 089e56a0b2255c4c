#include "info/BasicInfoController.h"

#include <QEvent>
#include <algorithm>

#include "appkit/Localization.h"
#include "appkit/QtTypeDescriber.h"
#include "files/FileSystem.h"
#include "files/Files.h"
#include "files/KnownSizes.h"
#include "files/TypeDescriber.h"
#include "files/VisibleName.h"
#include "files/format/DateExtensions.h"
#include "files/format/FileSizeFormatter.h"
#include "info/FlagSupport.h"
#include "info/PaneSupport.h"
#include "info/UpdateDate.h"
#include "info/state/InfoWindowEvents.h"
#include "platform/dispatch/GlobalPool.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"
#include "ui_BasicInfoController.h"

namespace ml::info {

namespace {

// Positions in every date menu; 1 and 4 are separators.
constexpr int kShownDate = 0;
constexpr int kNow = 2;
constexpr int kRelatedDate = 3;
constexpr int kSetDate = 5;
constexpr int kAdjustDate = 6;

QString dateText(files::Date date) { return qt(files::dates::string(date)); }

// Decimal text: a date's nanoseconds need more than 64 bits.
QString nanoseconds(files::Date date) { return QString::fromStdString(darwin::decimalNanoseconds(date)); }

std::optional<files::Date> fromNanoseconds(const QString& ns) {
  return darwin::dateFromDecimalNanoseconds(ns.toStdString());
}

void setRepresented(QComboBox& popup, int index, const QString& kind, std::optional<files::Date> date = std::nullopt) {
  popup.setItemData(index, kind.isEmpty() ? QVariant() : QVariant(kind), BasicInfoController::kRepresentedKindRole);
  popup.setItemData(index, date ? QVariant(nanoseconds(*date)) : QVariant(), BasicInfoController::kRepresentedDateRole);
}

// The fixed layout of a date menu; the pane rewrites items 0 and 3 on every update.
//
// The access menu has no item that clears the date: every item on these file systems keeps an
// access time, and the apply step can only set one, never remove it (it refuses an absent access
// date). An item offering to clear it would only ever lead to that refusal.
void buildDateMenu(QComboBox& popup) {
  popup.clear();
  popup.addItem(QString());
  popup.insertSeparator(1);
  popup.addItem(appkit::localizedText("Now"));
  popup.addItem(QString());
  popup.insertSeparator(4);
  popup.addItem(appkit::localizedText("Set Date\u2026"));
  popup.addItem(appkit::localizedText("Adjust Date\u2026"));
}

std::optional<files::Date> pendingDate(const InfoWindowState& state, EditableField field) {
  const FieldValue* value = state.change(field);
  const auto* date = value ? valueAs<files::Date>(*value) : nullptr;
  return date ? std::optional(*date) : std::nullopt;
}

std::string tagToken(const files::FinderTag& tag) {
  return tag.color ? tag.name + " (" + tag.color->name + ")" : tag.name;
}

// "Work (Red)" for a tag with a colour, "Later" for one without; every tag the item carries, in
// the order of their names (the view holds them as a set).
QStringList tagTokens(const files::FinderTags& tags) {
  std::vector<const files::FinderTag*> sorted;
  for (const auto& tag : tags) sorted.push_back(&tag);
  std::sort(sorted.begin(), sorted.end(), [](const files::FinderTag* a, const files::FinderTag* b) {
    if (const int order = QString::localeAwareCompare(qt(a->name), qt(b->name)); order != 0) return order < 0;
    return std::pair(a->name, tagToken(*a)) < std::pair(b->name, tagToken(*b));
  });
  QStringList tokens;
  for (const auto* tag : sorted) tokens << qt(tagToken(*tag));
  return tokens;
}

}  // namespace

BasicInfoController::BasicInfoController(QWidget* parent)
    : appkit::TolvekViewController(parent), ui_(std::make_unique<Ui::BasicInfoController>()) {
  ui_->setupUi(this);
  keepMarkerSpace(*this);
  for (QComboBox* popup : {ui_->createdField, ui_->modifiedField, ui_->accessedField}) {
    buildDateMenu(*popup);
    connect(popup, &QComboBox::activated, this, &BasicInfoController::onDateChanged);
  }
  connect(ui_->nameField, &QLineEdit::editingFinished, this, &BasicInfoController::controlTextDidEndEditing);
  finishLoading();
}

BasicInfoController::~BasicInfoController() { stopSizing(); }

void BasicInfoController::setWindow(QWidget* window) {
  if (window_) window_->removeEventFilter(this);
  window_ = window;
  if (window_) window_->installEventFilter(this);
}

bool BasicInfoController::eventFilter(QObject* watched, QEvent* event) {
  // A closed window is hidden by the application (a spontaneous hide is the desktop minimising it,
  // after which it may be shown again with its size still wanted).
  if (watched == window_ && event->type() == QEvent::Hide && !event->spontaneous()) stopSizing();
  // Shown again after that: the size still wanted is computed again.
  if (watched == window_ && event->type() == QEvent::Show && shown_ && sizing_.empty()) updateSize(*shown_);
  return appkit::TolvekViewController::eventFilter(watched, event);
}

// A walk of a large tree (or of "/" through a link) would otherwise go on for nobody.
void BasicInfoController::stopSizing() {
  for (auto& [item, stop] : sizing_) stop.request_stop();
  sizing_.clear();
}

void BasicInfoController::update(const InfoWindowState& state) {
  ML_ASSERT_MAIN_THREAD();
  const auto item = state.displayedPath();
  if (!item) return;  // nothing left to show: the window is closing
  const auto& fs = item->fileSystem();
  // The name in its visible form: a control character in it would break the title or the field.
  // Only the display changes; what the user leaves alone in the field keeps the name's own bytes.
  const std::string currentName = item->url().filename().string();
  const QString currentShown = qt(files::visibleName(currentName));

  if (window_) window_->setWindowTitle(currentShown);

  const FieldValue* pendingName = state.change(EditableField::name);
  const auto* name = pendingName ? valueAs<std::string>(*pendingName) : nullptr;
  fieldName_ = name ? *name : currentName;
  const QString shownName = name ? qt(files::visibleName(*name)) : currentShown;
  if (ui_->nameField->text() != shownName) ui_->nameField->setText(shownName);
  ui_->nameModifiedMarker->setVisible(state.hasChange(EditableField::name));

  const auto finder = fs.finderAttributes(*item);
  const auto kind = finder ? finder->kind() : std::nullopt;
  ui_->kindLabel->setText(kind ? qt(*kind) : appkit::localizedText("Unknown File Type"));

  // The folder's path within the item's volume, so a volume's own mount point is not repeated.
  ui_->locationField->setText(qt(item->volume() + item->pathOnVolume().parent_path().string()));

  const QIcon icon = appkit::iconFor(files::TypeDescriber::current()->icon(item->url()));
  ui_->iconButton->setPixmap(icon.pixmap(64, 64));
  ui_->iconModifiedMarker->setVisible(state.hasChange(EditableField::icon));

  updateDates(state, *item);
  updateSize(*item);

  ui_->tagTokenField->setText(finder ? tagTokens(finder->tags()).join(QStringLiteral(", ")) : QString());
  shown_ = *item;
}

void BasicInfoController::updateDates(const InfoWindowState& state, const files::Path& item) {
  if (const auto dates = files::Files::dates(item)) {
    // Each date shown is the pending one when an edit holds a date, else the item's own.
    const auto pendingCreated = pendingDate(state, EditableField::created);
    const std::optional<files::Date> createdShown = pendingCreated ? pendingCreated : dates->creation;
    const auto modified = pendingDate(state, EditableField::modified).value_or(dates->modification);
    const auto accessed = pendingDate(state, EditableField::accessed).value_or(dates->access);

    // The creation date is kept in an extended attribute, which a pipe, socket, device or link
    // refuses: its menu is not offered there (Apply could only fail), and its tip says why.
    const auto cannotCarry = whyFlagsCannotBeSet(item, "a created date");
    ui_->createdField->setToolTip(cannotCarry ? qt(*cannotCarry) : QString());
    if (!createdShown) {
      ui_->createdField->setItemText(kShownDate, appkit::localizedText("No Created Date"));
      setRepresented(*ui_->createdField, kShownDate, QString());
      ui_->createdField->setCurrentIndex(kShownDate);
      ui_->createdField->setEnabled(false);
    } else {
      ui_->createdField->setEnabled(!cannotCarry);  // a later item may take a creation date again
      updateDateCombobox(*ui_->createdField, createdShown, modified, QStringLiteral("Modified"));
    }
    updateDateCombobox(*ui_->modifiedField, modified, createdShown, QStringLiteral("Creation"));
    updateDateCombobox(*ui_->accessedField, accessed, modified, QStringLiteral("Modified"));
  }
  ui_->createdModifiedMarker->setVisible(state.hasChange(EditableField::created));
  ui_->modifiedModifiedMarker->setVisible(state.hasChange(EditableField::modified));
  ui_->accessedModifiedMarker->setVisible(state.hasChange(EditableField::accessed));
}

void BasicInfoController::updateDateCombobox(QComboBox& popup, std::optional<files::Date> value,
                                             std::optional<files::Date> related, const QString& relatedName) {
  popup.setItemText(kShownDate, value ? dateText(*value) : appkit::localizedText("Unknown"));
  setRepresented(popup, kShownDate, value ? QStringLiteral("date") : QString(), value);
  popup.setCurrentIndex(kShownDate);
  setRepresented(popup, kNow, QStringLiteral("now"));
  if (related) {
    popup.setItemText(kRelatedDate, QStringLiteral("Copy from ") + relatedName + QStringLiteral(" Date (") +
                                        dateText(*related) + QStringLiteral(")"));
    setRepresented(popup, kRelatedDate, QStringLiteral("date"), related);
  }
  setRepresented(popup, kSetDate, QStringLiteral("set"));
  setRepresented(popup, kAdjustDate, QStringLiteral("adjust"));
}

void BasicInfoController::updateSize(const files::Path& item) {
  if (auto known = files::knownSizes().get(item)) {
    showSize(*known);
    return;
  }
  ui_->totalSizeField->setText(appkit::localizedText("Calculating..."));
  // One computation per item at a time: every edit redraws the pane, and a large folder takes
  // long to walk.
  auto [sizing, started] = sizing_.try_emplace(item.description());
  if (!started) return;
  QPointer<BasicInfoController> self(this);
  dispatch::GlobalPool::shared().async([item, self, stop = sizing->second.get_token()] {
    auto basic = item.fileSystem().basicAttributes(item);
    const files::FileSize size = basic ? basic->cancellableTotalSize(stop) : files::FileSize::unknown();
    // A stopped walk's answer is no size of the folder's.
    if (stop.stop_requested()) return;
    dispatch::MainQueue::shared().async([item, size, self, stop] {
      files::knownSizes().set(item, size);
      if (!self) return;
      // Only this computation's entry: a stopped one may have been followed by another.
      if (auto it = self->sizing_.find(item.description()); it != self->sizing_.end() && it->second.get_token() == stop)
        self->sizing_.erase(it);
      // A result for an item no longer shown stays in the cache for when it is shown again.
      if (self->shown_ == item) self->showSize(size);
    });
  });
}

void BasicInfoController::showSize(const files::FileSize& size) {
  ui_->totalSizeField->setText(qt(files::FileSizeFormatter().format(size)));
}

void BasicInfoController::onDateChanged(int index) {
  ML_ASSERT_MAIN_THREAD();
  auto* popup = qobject_cast<QComboBox*>(sender());
  if (!popup) return;
  if (index == kShownDate) {
    LOG_DEBUG("skipping selection of current value");
    return;
  }
  const auto field = fieldOf(popup);
  const QString kind = popup->itemData(index, kRepresentedKindRole).toString();
  const QVariant date = popup->itemData(index, kRepresentedDateRole);
  popup->setCurrentIndex(kShownDate);  // the menu shows the date, not the action chosen
  if (!field) return;
  if (kind == QLatin1String("now")) {
    fire(FieldUpdated(*field, files::Date(std::chrono::system_clock::now())));
  } else if (kind == QLatin1String("set")) {
    fire(std::make_shared<UpdateDate>(*field, false));
  } else if (kind == QLatin1String("adjust")) {
    fire(std::make_shared<UpdateDate>(*field, true));
  } else if (kind == QLatin1String("none")) {
    fire(FieldUpdated(*field, std::nullopt));
  } else if (kind == QLatin1String("date") && date.isValid()) {
    if (const auto represented = fromNanoseconds(date.toString())) fire(FieldUpdated(*field, *represented));
  }
}

void BasicInfoController::controlTextDidEndEditing() {
  ML_ASSERT_MAIN_THREAD();
  auto* field = qobject_cast<QLineEdit*>(sender());
  if (!field || !field->isModified()) return;
  field->setModified(false);
  const auto edited = fieldOf(field);
  if (!edited) return;
  std::string text = field->text().toStdString();
  // The name field shows the visible form of a name: the parts the user left alone stand for
  // that name's own bytes (a newline stays a newline, a byte that is not UTF-8 stays itself), so
  // a rename never writes the marks, and a name typed back as it was is no edit.
  if (*edited == EditableField::name && shown_) text = files::editedName(fieldName_, text);
  fire(FieldUpdated(*edited, std::move(text)));
}

}  // namespace ml::info
