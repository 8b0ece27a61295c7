#pragma once

#include <QLabel>
#include <QString>
#include <QTest>
#include <QVariant>
#include <QWidget>

#include "frm_main.h"

// Finding the window's controls the way a person would name them.
namespace ordwell::testing {

// Returns the control with this name, failing the test when there is none.
template <typename T = QWidget>
T* Control(const FrmMain& form, const char* name) {
  T* const found = form.findChild<T*>(QLatin1String(name));
  if (found == nullptr) qFatal("no control named %s", name);
  return found;
}

// Returns lblCaption(index).
inline QLabel* Caption(const FrmMain& form, int index) {
  for (QLabel* label : form.findChildren<QLabel*>(QStringLiteral("lblCaption"))) {
    if (label->property("index").toInt() == index) return label;
  }
  qFatal("no lblCaption(%d)", index);
}

}  // namespace ordwell::testing
