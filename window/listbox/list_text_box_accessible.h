#pragma once

#include <QtGlobal>

class QString;
class QWidget;

// How a ListTextBox shows itself to assistive technology: an editable-text object with the text,
// caret and selection interfaces, and the change events that keep a screen reader up to date.
namespace ordwell::listbox {

// Makes Qt build the accessible interface of every ListTextBox; calling it again does nothing.
void installAccessibility();

// Tells assistive technology that `removed` at `pos` in `box` was replaced by `inserted`.
void notifyTextReplaced(QWidget* box, qsizetype pos, const QString& removed, const QString& inserted);

// Tells assistive technology that the caret or the selection of `box` moved from the old anchor
// and caret to the new ones.
void notifyCaretMoved(QWidget* box, qsizetype oldAnchor, qsizetype oldCaret, qsizetype anchor, qsizetype caret);

// Tells assistive technology that `box` now refuses or allows editing.
void notifyReadOnlyChanged(QWidget* box);

}  // namespace ordwell::listbox
