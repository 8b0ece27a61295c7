#pragma once

#include <QString>
#include <QtGlobal>

#include <deque>
#include <optional>

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
//
// The lists have a memory bound: besides the newest step, which is always kept, they hold at
// most four times the text's length in UTF-16 units (but never less than a floor, so a short
// text keeps a long history), counting each step's removed and inserted text plus a fixed
// charge for the step itself. Recording past the bound drops the oldest steps first.
class UndoHistory {
 public:
  // The floor of the bound, in UTF-16 units (32 MB of text).
  static constexpr qsizetype kDefaultMinBudget = qsizetype{16} << 20;
  // What a step costs beyond its text, in UTF-16 units: its own size and two string headers.
  static constexpr qsizetype kStepCharge = 64;

  // Makes an empty history whose bound never falls below `minBudget` UTF-16 units.
  explicit UndoHistory(qsizetype minBudget = kDefaultMinBudget) : minBudget_(minBudget) {}

  // Records an edit just made and drops the redo list; merges it into the last step when the run
  // is open, both are of the same mergeable kind and the edit continues where the last one ended.
  // `textLength` is the text's length after the edit; older steps beyond the bound are dropped.
  void record(UndoStep step, qsizetype textLength = 0);

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

  // Returns the UTF-16 units the undo and redo lists hold, step charges included.
  qsizetype heldUnits() const { return held_; }

  // Forgets every step.
  void clear();

 private:
  bool mergeIntoLast(const UndoStep& step);
  void dropOldestBeyond(qsizetype budget);

  std::deque<UndoStep> undo_;
  std::deque<UndoStep> redo_;
  qsizetype held_ = 0;
  qsizetype minBudget_;
  bool runOpen_ = false;
};

}  // namespace ordwell::listbox
