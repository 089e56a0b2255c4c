#include "find/rows/NameRow.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QWidget>

#include "files/Collections.h"
#include "find/FindWindowEvents.h"
#include "find/rows/RestrictiveIntegerFormatter.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"

namespace ml::find {
namespace {

// Typing settles after a second without a keystroke: long enough not to fire per letter.
constexpr auto kTypingSettles = std::chrono::seconds(1);

std::vector<std::string> readHistory(const foundation::Preferences& preferences) {
  std::vector<std::string> out;
  if (auto array = preferences.array(NameRow::kHistoryKey)) {
    for (const auto& value : *array)
      if (const std::string* text = value.string()) out.push_back(*text);
  }
  return out;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t end = text.find('\n', start);
    out.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

}  // namespace

NameRow::NameRow(foundation::Preferences& preferences, dispatch::Clock& clock)
    : preferences_(preferences), debouncer_(kTypingSettles, clock), history_(readHistory(preferences)) {}

std::shared_ptr<NameRow> NameRow::make(QWidget* container, foundation::Preferences& preferences, dispatch::Clock& clock) {
  auto row = std::make_shared<NameRow>(preferences, clock);
  auto* layout = new QHBoxLayout(container);
  layout->setContentsMargins(0, 0, 0, 0);
  row->enabledCheckbox = new QCheckBox(QObject::tr("Name"), container);
  row->enabledCheckbox->setObjectName("nameEnabledCheckbox");
  row->searchTypePopup = new QComboBox(container);
  row->searchTypePopup->setObjectName("nameSearchTypePopup");
  row->searchTypePopup->addItems({"contains", "contains any (or)", "starts with", "starts with any (or)", "ends with",
                                  "ends with any (or)", "is", "doesn't contain", "doesn't start with",
                                  "doesn't end with", "is not", "matches", "has length of at least"});
  row->valueCombomBox = new QComboBox(container);
  row->valueCombomBox->setObjectName("nameValueComboBox");
  row->valueCombomBox->setEditable(true);
  row->valueCombomBox->setInsertPolicy(QComboBox::NoInsert);
  row->valueCombomBox->setMinimumWidth(220);
  row->caseSensitiveCheckbox = new QCheckBox(QObject::tr("Case sensitive"), container);
  row->caseSensitiveCheckbox->setObjectName("nameCaseSensitiveCheckbox");
  layout->addWidget(row->enabledCheckbox);
  layout->addWidget(row->searchTypePopup);
  layout->addWidget(row->valueCombomBox, 1);
  layout->addWidget(row->caseSensitiveCheckbox);
  row->reloadHistoryItems();

  std::weak_ptr<NameRow> weak = row;
  auto changed = [weak](QObject* sender) {
    if (auto self = weak.lock()) self->somethingChanged(sender);
  };
  QObject::connect(row->enabledCheckbox, &QCheckBox::toggled, row->enabledCheckbox,
                   [changed, box = row->enabledCheckbox.data()] { changed(box); });
  QObject::connect(row->caseSensitiveCheckbox, &QCheckBox::toggled, row->caseSensitiveCheckbox,
                   [changed, box = row->caseSensitiveCheckbox.data()] { changed(box); });
  QObject::connect(row->searchTypePopup, &QComboBox::activated, row->searchTypePopup,
                   [changed, popup = row->searchTypePopup.data()] { changed(popup); });
  QObject::connect(row->valueCombomBox, &QComboBox::editTextChanged, row->valueCombomBox, [weak](const QString& text) {
    auto self = weak.lock();
    if (!self) return;
    self->shown_ = text;
    if (!self->completing_) self->completionStart_.reset();
    self->controlTextDidChange();
  });
  // The toolkit's own completer ignores case; the history completes by the row's own rule.
  row->valueCombomBox->setCompleter(nullptr);
  if (QLineEdit* edit = row->valueCombomBox->lineEdit()) {
    QObject::connect(edit, &QLineEdit::textEdited, edit, [weak](const QString& text) {
      if (auto self = weak.lock()) self->completeTyping(text);
    });
  }
  return row;
}

void NameRow::reloadHistoryItems() {
  ML_ASSERT_MAIN_THREAD();
  if (!valueCombomBox) return;
  QString text = valueCombomBox->currentText();
  QSignalBlocker block(valueCombomBox);
  valueCombomBox->clear();
  for (const auto& entry : history_) valueCombomBox->addItem(QString::fromStdString(entry));
  valueCombomBox->setEditText(text);
}

void NameRow::fire(std::shared_ptr<const store::Event> event) {
  if (reactor_) reactor_->fire(std::move(event));
}

void NameRow::controlTextDidChange() {
  ML_ASSERT_MAIN_THREAD();
  std::weak_ptr<NameRow> weak = weak_from_this();
  debouncer_.renewInterval([weak] {
    if (auto self = weak.lock()) self->somethingChanged(nullptr);
  });
}

void NameRow::applyPendingText() {
  ML_ASSERT_MAIN_THREAD();
  if (debouncer_.isPending()) somethingChanged(nullptr);
}

void NameRow::somethingChanged(QObject* sender) {
  ML_ASSERT_MAIN_THREAD();
  if (!searchTypePopup || !valueCombomBox || !caseSensitiveCheckbox || !enabledCheckbox) return;
  const std::string title = searchTypePopup->currentText().toStdString();
  auto has = [&title](const char* word) { return title.find(word) != std::string::npos; };
  if (sender == searchTypePopup.data()) {
    if (has("length")) {
      isCheckingLength_ = true;
      caseSensitiveCheckbox->setEnabled(false);
      valueCombomBox->setEditText(QString());
      if (QLineEdit* edit = valueCombomBox->lineEdit()) edit->setValidator(new RestrictiveIntegerFormatter(edit));
      return;
    }
    caseSensitiveCheckbox->setEnabled(true);
    if (QLineEdit* edit = valueCombomBox->lineEdit()) {
      const QValidator* old = edit->validator();
      edit->setValidator(nullptr);
      delete old;
    }
    if (isCheckingLength_) valueCombomBox->setEditText(QString());
    isCheckingLength_ = false;
  }
  const BooleanOperator join = has("or") ? BooleanOperator::orOp : BooleanOperator::andOp;
  const std::string text = valueCombomBox->currentText().toStdString();
  std::vector<std::string> values = splitLines(text);
  const bool caseSensitive = caseSensitiveCheckbox->isChecked();
  std::optional<NameSearchOption> option;
  if (has("contain")) {
    option = NameSearchOption::contains(values, join);
  } else if (has("start")) {
    option = NameSearchOption::startsWith(values, join);
  } else if (has("end")) {
    option = NameSearchOption::endsWith(values, join);
  } else if (has("is")) {
    option = NameSearchOption::is(values);
  } else if (has("length")) {
    option = NameSearchOption::length(text.empty() ? 0 : std::strtoull(text.c_str(), nullptr, 10));
  } else if (has("match")) {
    auto pattern = NamePattern::compile(values.front(), !caseSensitive);
    if (!pattern) {
      fire(std::make_shared<InvalidRegexPatternEntered>());
      return;
    }
    option = NameSearchOption::matches(*pattern);
  }
  if (!option) return;
  const bool negated = has("not") || has("doesn't");
  fire(std::make_shared<NameCriterionUpdated>(enabledCheckbox->isChecked(), *option, caseSensitive, negated));
}

std::optional<std::string> NameRow::objectValue(int index) const {
  if (index < 0 || index >= numberOfItems()) return std::nullopt;
  return history_[static_cast<size_t>(index)];
}

std::optional<std::string> NameRow::completedString(const std::string& typed) const {
  for (const auto& entry : history_)
    if (entry.starts_with(typed)) return entry;
  return std::nullopt;
}

void NameRow::completeTyping(const QString& text) {
  ML_ASSERT_MAIN_THREAD();
  QLineEdit* edit = valueCombomBox ? valueCombomBox->lineEdit() : nullptr;
  if (!edit || isCheckingLength_) return;
  // What the user had typed before this edit (the completion shown after it not counted). Only
  // typing on at its end completes: deleting, the shown completion included, or editing inside
  // the text leaves what the user made.
  const QString before = completionStart_ ? shown_.left(*completionStart_) : shown_;
  if (text.size() <= before.size() || !text.startsWith(before) || edit->cursorPosition() != text.size()) return;
  auto completed = completedString(text.toStdString());
  if (!completed) return;
  const QString full = QString::fromStdString(*completed);
  if (full.size() <= text.size()) return;
  // After the toolkit has finished reporting this edit (it reports the edited text once more
  // after this call), and only if nothing changed the field meanwhile.
  std::weak_ptr<NameRow> weak = weak_from_this();
  QMetaObject::invokeMethod(
      edit,
      [weak, edit, text, full] {
        auto self = weak.lock();
        if (!self || edit->text() != text || edit->cursorPosition() != text.size()) return;
        self->completing_ = true;
        edit->setText(full);
        self->completing_ = false;
        self->completionStart_ = text.size();
        edit->setSelection(static_cast<int>(text.size()), static_cast<int>(full.size() - text.size()));
      },
      Qt::QueuedConnection);
}

void NameRow::process(const store::Event& event, const FindWindowState&) {
  if (!event.as<SearchStarted>()) return;
  auto self = shared_from_this();
  dispatch::MainQueue::sync([self] {
    if (!self->enabledCheckbox || !self->valueCombomBox) return;
    if (!self->enabledCheckbox->isChecked()) return;
    std::string text = self->valueCombomBox->currentText().toStdString();
    if (text.empty()) return;
    std::vector<std::string> grown{text};
    grown.insert(grown.end(), self->history_.begin(), self->history_.end());
    self->history_ = files::distinct(grown);
    foundation::PlistValue::Array stored(self->history_.begin(), self->history_.end());
    self->preferences_.set(kHistoryKey, foundation::PlistValue(std::move(stored)));
    self->reloadHistoryItems();
  });
}

}  // namespace ml::find
