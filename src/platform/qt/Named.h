#pragma once
// Gives a new widget the object name by which tests and assistive technology find it.

#include <QString>

namespace kestrova {

template <typename T>
T* Named(T* widget, const QString& name) {
  widget->setObjectName(name);
  return widget;
}

}  // namespace kestrova
