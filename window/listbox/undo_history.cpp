#include "window/listbox/undo_history.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace ordwell::listbox {

namespace {

qsizetype costOf(const UndoStep& step) {
  return step.removed.size() + step.inserted.size() + UndoHistory::kStepCharge;
}

}  // namespace

void UndoHistory::record(UndoStep step, qsizetype textLength) {
  const EditKind kind = step.kind;
  for (const UndoStep& dropped : redo_) {
    held_ -= costOf(dropped);
  }
  redo_.clear();
  const qsizetype added = step.removed.size() + step.inserted.size();
  if (mergeIntoLast(step)) {
    held_ += added;
  } else {
    held_ += added + kStepCharge;
    undo_.push_back(std::move(step));
  }
  runOpen_ = kind != EditKind::Other;
  // Four times the text, computed so that no length can overflow it.
  const qsizetype budget = textLength > std::numeric_limits<qsizetype>::max() / 4
                               ? std::numeric_limits<qsizetype>::max()
                               : std::max(minBudget_, textLength * 4);
  dropOldestBeyond(budget);
}

void UndoHistory::dropOldestBeyond(qsizetype budget) {
  // The newest step stays whatever its size, so the last edit can always be undone.
  while (undo_.size() > 1 && held_ - costOf(undo_.back()) > budget) {
    held_ -= costOf(undo_.front());
    undo_.pop_front();
  }
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
  held_ = 0;
  runOpen_ = false;
}

}  // namespace ordwell::listbox
