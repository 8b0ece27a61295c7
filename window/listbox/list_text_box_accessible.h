#pragma once

#include <QtGlobal>

#include <functional>
#include <utility>

class QAccessibleEvent;
class QString;
class QWidget;

// How a ListTextBox shows itself to assistive technology: an editable-text object with the text,
// caret and selection interfaces, and the change events that keep a screen reader up to date.
namespace ordwell::listbox {

// Makes Qt build the accessible interface of every ListTextBox; calling it again does nothing.
void installAccessibility();

// Where a box sends the change events that keep assistive technology up to date: to Qt, or to
// a receiver passed in, which then gets them whether or not a screen reader listens.
class AccessibilityEvents {
 public:
  using Receiver = std::function<void(QAccessibleEvent* event)>;

  // Sends every later event to `receiver`; an empty receiver sends them to Qt again.
  void setReceiver(Receiver receiver) { receiver_ = std::move(receiver); }

  // Returns whether anything listens to the events, so a caller can skip the work of preparing
  // one.
  bool listening() const;

  // Tells that `removed` at `pos` in `box` was replaced by `inserted`.
  void textReplaced(QWidget* box, qsizetype pos, const QString& removed, const QString& inserted) const;

  // Tells that the caret or the selection of `box` moved from the old anchor and caret to the
  // new ones.
  void caretMoved(QWidget* box, qsizetype oldAnchor, qsizetype oldCaret, qsizetype anchor,
                  qsizetype caret) const;

  // Tells that `box` now refuses or allows editing.
  void readOnlyChanged(QWidget* box) const;

 private:
  void send(QAccessibleEvent* event) const;

  Receiver receiver_;
};

}  // namespace ordwell::listbox
