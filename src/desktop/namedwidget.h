#pragma once
// Service forms name every control as the line's documentation does
// (Button10, Memo1), so that playback scripts and tests find them by name.

#include <QObject>
#include <utility>

namespace plat {

// A new widget of type T built from args, with its object name set.
template <typename T, typename... Args>
T* Named(const char* name, Args&&... args) {
  T* w = new T(std::forward<Args>(args)...);
  w->setObjectName(name);
  return w;
}

}  // namespace plat
