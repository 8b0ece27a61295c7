#pragma once

#include <QtGlobal>

class QAccessibleEvent;
class QString;
class QWidget;

// How a ListTextBox shows itself to assistive technology: an editable-text object with the text,
// caret and selection interfaces, and the change events that keep a screen reader up to date.
namespace ordwell::listbox {

// Makes Qt build the accessible interface of every ListTextBox; calling it again does nothing.
void installAccessibility();

// Returns whether anything listens to the box's change events, so a caller can skip the work of
// preparing one.
bool accessibilityListening();

// Tells assistive technology that `removed` at `pos` in `box` was replaced by `inserted`.
void notifyTextReplaced(QWidget* box, qsizetype pos, const QString& removed, const QString& inserted);

// Tells assistive technology that the caret or the selection of `box` moved from the old anchor
// and caret to the new ones.
void notifyCaretMoved(QWidget* box, qsizetype oldAnchor, qsizetype oldCaret, qsizetype anchor,
                      qsizetype caret);

// Tells assistive technology that `box` now refuses or allows editing.
void notifyReadOnlyChanged(QWidget* box);

using AccessibilityEventSink = void (*)(QAccessibleEvent* event);
// Routes every later change event to `sink` instead of to Qt, whether or not a screen reader
// listens (nullptr restores Qt), and returns the previous sink; for tests.
AccessibilityEventSink setAccessibilityEventSink(AccessibilityEventSink sink);

}  // namespace ordwell::listbox
