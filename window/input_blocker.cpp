#include "window/input_blocker.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace ordwell {
namespace {

// Whether an event is the user's input: a key, a click, a wheel turn, a touch, a drag or an input
// method's text.
bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: return true;
    default: return false;
  }
}

}  // namespace

InputBlocker::InputBlocker(const QWidget* window) : window_(window) { qApp->installEventFilter(this); }

InputBlocker::~InputBlocker() { qApp->removeEventFilter(this); }

bool InputBlocker::eventFilter(QObject* watched, QEvent* event) {
  if (!IsUserInput(event->type()) || !watched->isWidgetType()) return false;
  if (static_cast<const QWidget*>(watched)->window() != window_) return false;
  event->accept();  // taken here, so it goes neither to the widget nor to its parents
  return true;
}

}  // namespace ordwell
