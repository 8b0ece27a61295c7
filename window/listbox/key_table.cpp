#include "window/listbox/key_table.h"

#include <QChar>
#include <QKeyEvent>
#include <QString>

#include <algorithm>

namespace ordwell::listbox {

namespace {

bool isPrintable(const QString& text) {
  if (text.isEmpty()) {
    return false;
  }
  return std::all_of(text.cbegin(), text.cend(),
                     [](QChar c) { return c.category() != QChar::Other_Control && c != QChar(0x7F); });
}

}  // namespace

std::optional<KeyBinding> keyBindingFor(const QKeyEvent& event) {
  for (const KeyBinding& binding : kStandardKeyBindings) {
    if (event.matches(binding.key)) {
      return binding;
    }
  }
  const int key = event.key();
  const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
  // Backspace takes one code point, with or without Shift held.
  if (key == Qt::Key_Backspace && (mods & ~Qt::ShiftModifier) == Qt::NoModifier) {
    return KeyBinding{QKeySequence::UnknownKey, KeyCommand::DeletePreviousChar};
  }
  // Enter with Ctrl, Alt or Meta is left to the window.
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
      (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == Qt::NoModifier) {
    return KeyBinding{QKeySequence::UnknownKey, KeyCommand::InsertLineBreak};
  }
  if ((key == Qt::Key_F10 && mods == Qt::ShiftModifier) || (key == Qt::Key_Menu && mods == Qt::NoModifier)) {
    return KeyBinding{QKeySequence::UnknownKey, KeyCommand::ContextMenu};
  }
  // Ctrl+Alt is AltGr on some keyboards and types characters; Ctrl alone never does.
  if (isPrintable(event.text()) && ((mods & Qt::ControlModifier) == 0 || (mods & Qt::AltModifier) != 0)) {
    return KeyBinding{QKeySequence::UnknownKey, KeyCommand::InsertText};
  }
  return std::nullopt;
}

}  // namespace ordwell::listbox
