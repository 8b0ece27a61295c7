#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QString>
#include <QTest>
#include <QTextCursor>
#include <QVariant>
#include <QWidget>

#include <utility>

#include "window/frm_main.h"
#include "window/listbox/list_text_box.h"

// Finding the window's controls by name and reading either kind of text box the same way.
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

// Returns the text of a ListTextBox or a QPlainTextEdit, with Qt '\n' line breaks.
inline QString TextOf(const QWidget* box) {
  if (const auto* list = qobject_cast<const ListTextBox*>(box)) return list->toPlainText();
  return qobject_cast<const QPlainTextEdit*>(box)->toPlainText();
}

// Replaces the text of either kind of box as the program would.
inline void SetTextOf(QWidget* box, const QString& text) {
  if (auto* list = qobject_cast<ListTextBox*>(box)) return list->setPlainText(text);
  qobject_cast<QPlainTextEdit*>(box)->setPlainText(text);
}

// Returns the selection's start and length in widget positions.
inline std::pair<qsizetype, qsizetype> SelectionOf(const QWidget* box) {
  if (const auto* list = qobject_cast<const ListTextBox*>(box)) {
    return {list->selectionStart(), list->selectionLength()};
  }
  const QTextCursor cursor = qobject_cast<const QPlainTextEdit*>(box)->textCursor();
  return {cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
}

// Returns the selected text with '\n' line breaks.
inline QString SelectedTextOf(const QWidget* box) {
  const auto [start, length] = SelectionOf(box);
  return TextOf(box).mid(start, length);
}

// Puts the caret at a widget position with nothing selected.
inline void SetCaret(QWidget* box, qsizetype pos) {
  if (auto* list = qobject_cast<ListTextBox*>(box)) return list->setSelection(pos, 0);
  auto* edit = qobject_cast<QPlainTextEdit*>(box);
  QTextCursor cursor = edit->textCursor();
  cursor.setPosition(static_cast<int>(pos));
  edit->setTextCursor(cursor);
}

}  // namespace ordwell::testing
