#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace ordwell::listbox {

// Shows the wait cursor over the whole application while it lives, so a long sort or paste that
// holds the event loop is seen to be working; restores the previous cursor when it ends.
class WaitCursor {
 public:
  // Shows the wait cursor, or does nothing when `show` is false.
  explicit WaitCursor(bool show = true) : shown_(show) {
    if (shown_) {
      QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
  }
  ~WaitCursor() {
    if (shown_) {
      QGuiApplication::restoreOverrideCursor();
    }
  }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  bool shown_;
};

}  // namespace ordwell::listbox
