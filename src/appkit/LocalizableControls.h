#pragma once
// Finishes loading an interface: wakes every localizable control under `root` (text fields, menu
// items, toolbar items), so their texts are looked up once the interface file's own texts are set.
#include <QObject>

namespace ml::appkit {

// Main thread. Safe to call on a tree without localizable controls.
void awakeLocalizableControls(QObject& root);

}  // namespace ml::appkit
