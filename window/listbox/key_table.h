#pragma once

#include <QKeySequence>

#include <array>
#include <optional>

class QKeyEvent;

namespace ordwell::listbox {

// What a key does in a list box. Commands from Cut on change the text and are refused by a
// read-only box; the others work in every box.
enum class KeyCommand {
  MoveNextChar,
  MovePreviousChar,
  MoveNextWord,
  MovePreviousWord,
  MoveNextLine,
  MovePreviousLine,
  MoveNextPage,
  MovePreviousPage,
  MoveStartOfLine,
  MoveEndOfLine,
  MoveStartOfDocument,
  MoveEndOfDocument,
  SelectAll,
  Copy,
  ContextMenu,
  Cut,
  Paste,
  Undo,
  Redo,
  DeleteNextChar,
  DeletePreviousChar,
  DeleteStartOfWord,
  DeleteEndOfWord,
  InsertLineBreak,
  InsertText,
};

// A key and its command; a motion that extends the selection is the Shift form of the move.
struct KeyBinding {
  QKeySequence::StandardKey key = QKeySequence::UnknownKey;
  KeyCommand command = KeyCommand::InsertText;
  bool extendsSelection = false;
};

// The platform's standard key sequences the box handles, in the order they are tried. Keys that
// are no standard sequence (Backspace, Enter, Shift+F10, the Menu key, typed text) follow them in
// keyBindingFor.
inline constexpr std::array kStandardKeyBindings{
    KeyBinding{QKeySequence::MoveToNextChar, KeyCommand::MoveNextChar, false},
    KeyBinding{QKeySequence::SelectNextChar, KeyCommand::MoveNextChar, true},
    KeyBinding{QKeySequence::MoveToPreviousChar, KeyCommand::MovePreviousChar, false},
    KeyBinding{QKeySequence::SelectPreviousChar, KeyCommand::MovePreviousChar, true},
    KeyBinding{QKeySequence::MoveToNextWord, KeyCommand::MoveNextWord, false},
    KeyBinding{QKeySequence::SelectNextWord, KeyCommand::MoveNextWord, true},
    KeyBinding{QKeySequence::MoveToPreviousWord, KeyCommand::MovePreviousWord, false},
    KeyBinding{QKeySequence::SelectPreviousWord, KeyCommand::MovePreviousWord, true},
    KeyBinding{QKeySequence::MoveToNextLine, KeyCommand::MoveNextLine, false},
    KeyBinding{QKeySequence::SelectNextLine, KeyCommand::MoveNextLine, true},
    KeyBinding{QKeySequence::MoveToPreviousLine, KeyCommand::MovePreviousLine, false},
    KeyBinding{QKeySequence::SelectPreviousLine, KeyCommand::MovePreviousLine, true},
    KeyBinding{QKeySequence::MoveToNextPage, KeyCommand::MoveNextPage, false},
    KeyBinding{QKeySequence::SelectNextPage, KeyCommand::MoveNextPage, true},
    KeyBinding{QKeySequence::MoveToPreviousPage, KeyCommand::MovePreviousPage, false},
    KeyBinding{QKeySequence::SelectPreviousPage, KeyCommand::MovePreviousPage, true},
    KeyBinding{QKeySequence::MoveToStartOfLine, KeyCommand::MoveStartOfLine, false},
    KeyBinding{QKeySequence::SelectStartOfLine, KeyCommand::MoveStartOfLine, true},
    KeyBinding{QKeySequence::MoveToEndOfLine, KeyCommand::MoveEndOfLine, false},
    KeyBinding{QKeySequence::SelectEndOfLine, KeyCommand::MoveEndOfLine, true},
    KeyBinding{QKeySequence::MoveToStartOfDocument, KeyCommand::MoveStartOfDocument, false},
    KeyBinding{QKeySequence::SelectStartOfDocument, KeyCommand::MoveStartOfDocument, true},
    KeyBinding{QKeySequence::MoveToEndOfDocument, KeyCommand::MoveEndOfDocument, false},
    KeyBinding{QKeySequence::SelectEndOfDocument, KeyCommand::MoveEndOfDocument, true},
    KeyBinding{QKeySequence::SelectAll, KeyCommand::SelectAll, false},
    KeyBinding{QKeySequence::Copy, KeyCommand::Copy, false},
    KeyBinding{QKeySequence::Cut, KeyCommand::Cut, false},
    KeyBinding{QKeySequence::Paste, KeyCommand::Paste, false},
    KeyBinding{QKeySequence::Undo, KeyCommand::Undo, false},
    KeyBinding{QKeySequence::Redo, KeyCommand::Redo, false},
    KeyBinding{QKeySequence::DeleteStartOfWord, KeyCommand::DeleteStartOfWord, false},
    KeyBinding{QKeySequence::DeleteEndOfWord, KeyCommand::DeleteEndOfWord, false},
    KeyBinding{QKeySequence::Delete, KeyCommand::DeleteNextChar, false},
};

// Returns whether the command changes the text.
constexpr bool changesText(KeyCommand command) { return command >= KeyCommand::Cut; }

// Returns the binding of a key press, or nothing when the box does not handle the key.
std::optional<KeyBinding> keyBindingFor(const QKeyEvent& event);

}  // namespace ordwell::listbox
