#include "window/listbox/list_text_box_accessible.h"

#include "window/listbox/list_text_box.h"
#include "window/listbox/list_text_box_internal.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLatin1String>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringView>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <utility>

namespace ordwell::listbox {

namespace {

// Word, sentence and paragraph look-ups read at most this many units either side of the offset,
// so a screen reader walking a list of a million lines never makes the box scan all of it.
constexpr qsizetype kBoundaryWindow = 4096;

// A stretch of text seen as a whole text: Qt's own boundary search (characters, words, sentences,
// paragraphs) runs over it, and the results are moved back to the box's offsets.
class TextExcerpt final : public QAccessibleTextInterface {
 public:
  explicit TextExcerpt(QString text) : text_(std::move(text)) {}

  void selection(int /*selectionIndex*/, int* startOffset, int* endOffset) const override {
    *startOffset = 0;
    *endOffset = 0;
  }
  int selectionCount() const override { return 0; }
  void addSelection(int /*startOffset*/, int /*endOffset*/) override {}
  void removeSelection(int /*selectionIndex*/) override {}
  void setSelection(int /*selectionIndex*/, int /*startOffset*/, int /*endOffset*/) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int /*position*/) override {}
  QString text(int startOffset, int endOffset) const override {
    return text_.mid(startOffset, endOffset - startOffset);
  }
  int characterCount() const override { return toInt(text_.size()); }
  QRect characterRect(int /*offset*/) const override { return {}; }
  int offsetAtPoint(const QPoint& /*point*/) const override { return -1; }
  void scrollToSubstring(int /*startIndex*/, int /*endIndex*/) override {}
  QString attributes(int /*offset*/, int* startOffset, int* endOffset) const override {
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
  }

 private:
  QString text_;
};

enum class Side { Before, At, After };

// The lines around `offset`: the line before its own, its own and the one after (with its line
// break), each way cut to kBoundaryWindow units and never inside a surrogate pair.
std::pair<qsizetype, qsizetype> excerptAround(QStringView text, qsizetype offset) {
  const qsizetype low = std::max<qsizetype>(0, offset - kBoundaryWindow);
  const qsizetype high = std::min(text.size(), offset + kBoundaryWindow);
  qsizetype from = low;
  const QStringView before = text.sliced(low, offset - low);
  if (const qsizetype ownStart = before.lastIndexOf(QLatin1Char('\n')); ownStart >= 0) {
    const qsizetype previousStart = before.first(ownStart).lastIndexOf(QLatin1Char('\n'));
    from = low + previousStart + 1;
  }
  qsizetype to = high;
  const QStringView after = text.sliced(offset, high - offset);
  if (const qsizetype ownEnd = after.indexOf(QLatin1Char('\n')); ownEnd >= 0) {
    const qsizetype nextEnd = after.sliced(ownEnd + 1).indexOf(QLatin1Char('\n'));
    to = nextEnd >= 0 ? offset + ownEnd + 1 + nextEnd + 1 : high;
  }
  if (from > 0 && from < text.size() && text[from].isLowSurrogate()) {
    ++from;
  }
  if (to > 0 && to < text.size() && text[to].isLowSurrogate()) {
    --to;
  }
  return {from, to};
}

class ListTextBoxAccessible final : public QAccessibleWidget,
                                    public QAccessibleTextInterface,
                                    public QAccessibleEditableTextInterface {
 public:
  explicit ListTextBoxAccessible(ListTextBox* box) : QAccessibleWidget(box, QAccessible::EditableText) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TextInterface) {
      return static_cast<QAccessibleTextInterface*>(this);
    }
    if (type == QAccessible::EditableTextInterface) {
      return box()->isReadOnly() ? nullptr : static_cast<QAccessibleEditableTextInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
  }

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.multiLine = true;
    state.selectableText = true;
    state.readOnly = box()->isReadOnly();
    state.editable = !box()->isReadOnly();
    return state;
  }

  QString text(QAccessible::Text t) const override {
    return t == QAccessible::Value ? box()->toPlainText() : QAccessibleWidget::text(t);
  }

  // The viewport and the scroll bar's container are the box's own parts, not objects of their own.
  int childCount() const override { return 0; }
  QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
  int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }
  QAccessibleInterface* childAt(int /*x*/, int /*y*/) const override { return nullptr; }

  // Selection and caret.
  void selection(int selectionIndex, int* startOffset, int* endOffset) const override {
    *startOffset = 0;
    *endOffset = 0;
    if (selectionIndex == 0 && box()->selectionLength() > 0) {
      *startOffset = toInt(box()->selectionStart());
      *endOffset = toInt(box()->selectionStart() + box()->selectionLength());
    }
  }
  int selectionCount() const override { return box()->selectionLength() > 0 ? 1 : 0; }
  // The box has one selection, so adding one replaces it.
  void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
  void removeSelection(int selectionIndex) override {
    if (selectionIndex == 0) {
      box()->setSelection(box()->cursorPosition(), 0);
    }
  }
  void setSelection(int selectionIndex, int startOffset, int endOffset) override {
    if (selectionIndex == 0) {
      box()->setSelection(startOffset, qsizetype{endOffset} - startOffset);
    }
  }
  int cursorPosition() const override { return toInt(box()->cursorPosition()); }
  void setCursorPosition(int position) override { box()->setSelection(position, 0); }

  // Text.
  QString text(int startOffset, int endOffset) const override {
    const QString all = box()->toPlainText();
    const qsizetype from = std::clamp<qsizetype>(startOffset, 0, all.size());
    // An end of -1 stands for the end of the text.
    const qsizetype to = endOffset == -1 ? all.size() : std::clamp<qsizetype>(endOffset, from, all.size());
    return all.mid(from, to - from);
  }
  int characterCount() const override { return toInt(box()->toPlainText().size()); }
  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                           int* endOffset) const override {
    return textNear(Side::Before, offset, type, startOffset, endOffset);
  }
  QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                       int* endOffset) const override {
    return textNear(Side::At, offset, type, startOffset, endOffset);
  }
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                          int* endOffset) const override {
    return textNear(Side::After, offset, type, startOffset, endOffset);
  }

  // Geometry, in screen coordinates.
  QRect characterRect(int offset) const override {
    const QRect rect = box()->characterRect(offset);
    return rect.translated(box()->mapToGlobal(QPoint(0, 0)));
  }
  int offsetAtPoint(const QPoint& point) const override {
    const QPoint local = box()->mapFromGlobal(point);
    return box()->rect().contains(local) ? toInt(box()->positionAtPoint(local)) : -1;
  }
  // The box scrolls by whole rows; bringing the start into view shows as much as fits.
  void scrollToSubstring(int startIndex, int /*endIndex*/) override { box()->scrollToPosition(startIndex); }
  // The text has one look throughout.
  QString attributes(int /*offset*/, int* startOffset, int* endOffset) const override {
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
  }

  // Editing, as the user's own edits: each is one undo step.
  void deleteText(int startOffset, int endOffset) override { replaceText(startOffset, endOffset, QString()); }
  void insertText(int offset, const QString& text) override { replaceText(offset, offset, text); }
  void replaceText(int startOffset, int endOffset, const QString& text) override {
    box()->replaceRange(startOffset, std::max<qsizetype>(0, qsizetype{endOffset} - startOffset), text);
  }

 private:
  ListTextBox* box() const { return static_cast<ListTextBox*>(widget()); }

  QString textNear(Side side, int offsetIn, QAccessible::TextBoundaryType type, int* startOffset,
                   int* endOffset) const {
    *startOffset = -1;
    *endOffset = -1;
    const QString all = box()->toPlainText();
    // By convention -1 stands for the end of the text and -2 for the caret.
    qsizetype offset = offsetIn;
    if (offset == -1) {
      offset = all.size();
    } else if (offset == -2) {
      offset = box()->cursorPosition();
    }
    if (offset < 0 || offset > all.size()) {
      return {};
    }
    if (type == QAccessible::LineBoundary) {
      return rowNear(side, offset, all, startOffset, endOffset);
    }
    if (type == QAccessible::NoBoundary) {
      if (side != Side::At) {
        return {};
      }
      *startOffset = 0;
      *endOffset = toInt(all.size());
      return all;
    }
    const auto [from, to] = excerptAround(all, offset);
    const TextExcerpt excerpt(all.mid(from, to - from));
    const int at = toInt(offset - from);
    QString found;
    switch (side) {
      case Side::Before: found = excerpt.textBeforeOffset(at, type, startOffset, endOffset); break;
      case Side::At: found = excerpt.textAtOffset(at, type, startOffset, endOffset); break;
      case Side::After: found = excerpt.textAfterOffset(at, type, startOffset, endOffset); break;
    }
    if (*startOffset >= 0) {
      *startOffset += toInt(from);
      *endOffset += toInt(from);
    }
    return found;
  }

  // Lines are the rows as shown, wrapped at the box's width, each with its line break if any.
  QString rowNear(Side side, qsizetype offset, const QString& all, int* startOffset, int* endOffset) const {
    auto [start, end] = box()->rowAt(offset);
    if (side == Side::Before) {
      if (start == 0) {
        return {};
      }
      std::tie(start, end) = box()->rowAt(start - 1);
    } else if (side == Side::After) {
      const auto next = box()->rowAt(end);
      // The last row has no row after it; a row ending in the text's final line break has an
      // empty one.
      if (next.first != end || next.first == start) {
        return {};
      }
      std::tie(start, end) = next;
    }
    *startOffset = toInt(start);
    *endOffset = toInt(end);
    return all.mid(start, end - start);
  }
};

QAccessibleInterface* createAccessible(const QString& className, QObject* object) {
  if (className == QLatin1String(ListTextBox::staticMetaObject.className())) {
    if (auto* box = qobject_cast<ListTextBox*>(object)) {
      return new ListTextBoxAccessible(box);
    }
  }
  return nullptr;
}

}  // namespace

void installAccessibility() { QAccessible::installFactory(&createAccessible); }

bool AccessibilityEvents::listening() const { return receiver_ || QAccessible::isActive(); }

void AccessibilityEvents::send(QAccessibleEvent* event) const {
  if (receiver_) {
    receiver_(event);
  } else {
    QAccessible::updateAccessibility(event);
  }
}

void AccessibilityEvents::textReplaced(QWidget* box, qsizetype pos, const QString& removed,
                                       const QString& inserted) const {
  if (!listening() || (removed.isEmpty() && inserted.isEmpty())) {
    return;
  }
  if (removed.isEmpty()) {
    QAccessibleTextInsertEvent event(box, toInt(pos), inserted);
    send(&event);
  } else if (inserted.isEmpty()) {
    QAccessibleTextRemoveEvent event(box, toInt(pos), removed);
    send(&event);
  } else {
    QAccessibleTextUpdateEvent event(box, toInt(pos), removed, inserted);
    send(&event);
  }
}

void AccessibilityEvents::caretMoved(QWidget* box, qsizetype oldAnchor, qsizetype oldCaret, qsizetype anchor,
                                     qsizetype caret) const {
  if (!listening()) {
    return;
  }
  // Where nothing is selected the selection is empty wherever the caret is.
  const auto range = [](qsizetype a, qsizetype b) {
    return a == b ? std::pair<qsizetype, qsizetype>{0, 0}
                  : std::pair<qsizetype, qsizetype>{std::min(a, b), std::max(a, b)};
  };
  if (range(oldAnchor, oldCaret) != range(anchor, caret)) {
    const auto [start, end] = range(anchor, caret);
    QAccessibleTextSelectionEvent event(box, anchor == caret ? -1 : toInt(start),
                                        anchor == caret ? -1 : toInt(end));
    event.setCursorPosition(toInt(caret));
    send(&event);
  }
  // Screen readers follow the caret by its own event, also while a selection grows.
  if (oldCaret != caret) {
    QAccessibleTextCursorEvent event(box, toInt(caret));
    send(&event);
  }
}

void AccessibilityEvents::readOnlyChanged(QWidget* box) const {
  if (!listening()) {
    return;
  }
  QAccessible::State changed;
  changed.readOnly = true;
  changed.editable = true;
  QAccessibleStateChangeEvent event(box, changed);
  send(&event);
}

}  // namespace ordwell::listbox
