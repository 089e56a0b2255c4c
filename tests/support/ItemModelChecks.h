#pragma once
// Qt's model tester on the item models of a window: once attached, it checks a model's whole
// consistency (indexes, parents, row counts, the signals around every insertion, removal, move and
// layout change) after every change the model signals, and an inconsistency ends the test with
// the tester's message. Header-only: only the suites that link Qt Test include it.
#include <QAbstractItemModelTester>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QWidget>

namespace ml::test {

// Attaches the tester to `model` once; it is a child of the model and goes with it.
inline void checkModel(QAbstractItemModel* model) {
  if (!model || model->findChild<QAbstractItemModelTester*>(QString(), Qt::FindDirectChildrenOnly)) return;
  new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::Fatal, model);
}

// Attaches it to the models of every view and popup in every window there is, that the window
// owns (a view without a model of its own shows a shared empty one, left alone).
inline void checkModelsOfEveryWindow() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto owned = [window](QAbstractItemModel* model) {
      for (QObject* up = model; up; up = up->parent()) {
        if (up == window) return true;
      }
      return false;
    };
    for (auto* view : window->findChildren<QAbstractItemView*>()) {
      if (view->model() && owned(view->model())) checkModel(view->model());
    }
    for (auto* box : window->findChildren<QComboBox*>()) {
      if (box->model() && owned(box->model())) checkModel(box->model());
    }
  }
}

}  // namespace ml::test
