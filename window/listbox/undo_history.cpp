#include "window/listbox/undo_history.h"

#include <utility>

namespace ordwell::listbox {

void UndoHistory::record(UndoStep step) {
  const EditKind kind = step.kind;
  if (!mergeIntoLast(step)) {
    undo_.push_back(std::move(step));
  }
  redo_.clear();
  runOpen_ = kind != EditKind::Other;
}

bool UndoHistory::mergeIntoLast(const UndoStep& step) {
  if (!runOpen_ || undo_.empty() || step.kind == EditKind::Other || undo_.back().kind != step.kind) {
    return false;
  }
  UndoStep& last = undo_.back();
  switch (step.kind) {
    case EditKind::Typing:
      if (step.removed.isEmpty() && last.pos + last.inserted.size() == step.pos) {
        last.inserted += step.inserted;
        return true;
      }
      return false;
    case EditKind::DeleteBack:
      if (step.inserted.isEmpty() && last.inserted.isEmpty() && step.pos + step.removed.size() == last.pos) {
        last.removed.prepend(step.removed);
        last.pos = step.pos;
        return true;
      }
      return false;
    case EditKind::DeleteForward:
      if (step.inserted.isEmpty() && last.inserted.isEmpty() && step.pos == last.pos) {
        last.removed += step.removed;
        return true;
      }
      return false;
    case EditKind::Other: break;
  }
  return false;
}

std::optional<UndoStep> UndoHistory::takeUndo() {
  runOpen_ = false;
  if (undo_.empty()) {
    return std::nullopt;
  }
  redo_.push_back(std::move(undo_.back()));
  undo_.pop_back();
  return redo_.back();
}

std::optional<UndoStep> UndoHistory::takeRedo() {
  runOpen_ = false;
  if (redo_.empty()) {
    return std::nullopt;
  }
  undo_.push_back(std::move(redo_.back()));
  redo_.pop_back();
  return undo_.back();
}

void UndoHistory::clear() {
  undo_.clear();
  redo_.clear();
  runOpen_ = false;
}

}  // namespace ordwell::listbox
