#pragma once

#include <QObject>

class QEvent;
class QWidget;

namespace ordwell {

// Drops the user's input to one window's widgets while it lives. The widgets keep their look and
// their accessible states (disabling them would grey them out and announce every control as
// unavailable); paint, timer and accessibility requests still go through.
class InputBlocker final : public QObject {
 public:
  // Starts dropping the input to `window` and its widgets.
  explicit InputBlocker(const QWidget* window);
  ~InputBlocker() override;
  InputBlocker(const InputBlocker&) = delete;
  InputBlocker& operator=(const InputBlocker&) = delete;

  // Takes the user's input to the window's widgets; lets everything else through.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  const QWidget* window_;
};

}  // namespace ordwell
