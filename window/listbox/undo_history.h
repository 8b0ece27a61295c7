#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace ordwell::listbox {

// What kind of user edit a step holds; consecutive steps of one of the first three kinds merge.
enum class EditKind { Typing, DeleteBack, DeleteForward, Other };

// One edit: at `pos`, `removed` was replaced by `inserted`; the selection before it is kept so
// that undoing restores it.
struct UndoStep {
  qsizetype pos = 0;
  QString removed;
  QString inserted;
  qsizetype anchorBefore = 0;
  qsizetype caretBefore = 0;
  EditKind kind = EditKind::Other;
};

// The undo and redo lists of a text box. Typing and runs of Backspace or Delete merge into one
// step while the run stays open; any caret move, undo or other edit closes it.
class UndoHistory {
 public:
  // Records an edit just made and drops the redo list; merges it into the last step when the run
  // is open, both are of the same mergeable kind and the edit continues where the last one ended.
  void record(UndoStep step);

  // Ends the current run, so that the next edit starts a step of its own.
  void closeRun() { runOpen_ = false; }

  // Moves the last step to the redo list and returns it; nothing when there is nothing to undo.
  std::optional<UndoStep> takeUndo();

  // Moves the last undone step back to the undo list and returns it; nothing when there is none.
  std::optional<UndoStep> takeRedo();

  // Returns whether there is a step to undo.
  bool canUndo() const { return !undo_.empty(); }

  // Returns whether there is a step to redo.
  bool canRedo() const { return !redo_.empty(); }

  // Forgets every step.
  void clear();

 private:
  bool mergeIntoLast(const UndoStep& step);

  std::vector<UndoStep> undo_;
  std::vector<UndoStep> redo_;
  bool runOpen_ = false;
};

}  // namespace ordwell::listbox
