#pragma once

#include "window/listbox/key_table.h"
#include "window/listbox/list_text_box_accessible.h"
#include "window/listbox/row_index.h"
#include "window/listbox/undo_history.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QString>
#include <QTextLayout>
#include <QtGlobal>

#include <cstddef>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QContextMenuEvent;
class QDragEnterEvent;
class QDragLeaveEvent;
class QDragMoveEvent;
class QDropEvent;
class QEvent;
class QFocusEvent;
class QInputMethodEvent;
class QKeyEvent;
class QMenu;
class QMimeData;
class QMouseEvent;
class QPaintEvent;
class QPainter;
class QRect;
class QResizeEvent;
class QTextLine;
class QTimerEvent;
class QVariant;

namespace ordwell {

namespace listbox {
class AdvanceCache;
}

// A multi-line plain-text box for very large lists: the text is held once as a QString with an
// index of its wrapped rows, and only the rows in view are shaped and painted. Lines break at '\n';
// positions are QString (UTF-16) offsets. Long lines wrap at the box's width where Qt's own text
// layout would wrap them; there is never a horizontal scroll bar. Each line reads in the direction
// of its first strong character and starts at that side; arrows move the caret visually.
class ListTextBox : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // Creates an empty, editable box.
  explicit ListTextBox(QWidget* parent = nullptr);
  ~ListTextBox() override;

  // Replaces the whole text, clears the undo history and puts the caret at the start.
  void setPlainText(const QString& text);
  // Returns the whole text.
  QString toPlainText() const;

  // Refuses (true) or allows (false) the user's edits; the program's setPlainText always works.
  void setReadOnly(bool readOnly);
  // Returns whether the user's edits are refused.
  bool isReadOnly() const;

  // Shows (true, the default) the vertical scroll bar when the text needs more rows than fit, or
  // never shows it (false); the box scrolls to the caret either way.
  void setScrollBarShown(bool shown);

  // Draws spaces, tabs and line breaks as faint marks (true) or not at all (false, the default);
  // only the drawing changes, never the text or its positions.
  void setWhitespaceShown(bool shown);
  // Returns whether whitespace marks are drawn.
  bool isWhitespaceShown() const;

  // Sends the box's accessibility change events to `receiver` instead of to Qt, whether or not a
  // screen reader listens; an empty receiver sends them to Qt again.
  void setAccessibilityEventReceiver(listbox::AccessibilityEvents::Receiver receiver);

  // Selects from `start` (the anchor) to `start + length` (the caret), both clamped to the text
  // and widened so that no surrogate pair is cut.
  void setSelection(qsizetype start, qsizetype length);
  // Returns the offset of the selection's first character (the caret when nothing is selected).
  qsizetype selectionStart() const;
  // Returns the number of units selected.
  qsizetype selectionLength() const;
  // Returns the selected text.
  QString selectedText() const;

  // Returns the input method's view of the caret and the text around it.
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

  // Returns the caret's offset: the end of the selection that moves.
  qsizetype cursorPosition() const;
  // Replaces `length` units at `start` with `text` as the user's own edit (one undo step, the
  // caret after the new text) and returns true; refuses (false) when read-only.
  bool replaceRange(qsizetype start, qsizetype length, const QString& text);
  // Returns where the wrapped row showing `pos` starts and where the next row starts (the end of
  // the text for the last row).
  std::pair<qsizetype, qsizetype> rowAt(qsizetype pos);
  // Returns the box of the character at `pos`, in the box's coordinates.
  QRect characterRect(qsizetype pos);
  // Returns the position nearest to a point in the box's coordinates.
  qsizetype positionAtPoint(QPoint point);
  // Scrolls the least that brings the row showing `pos` into view.
  void scrollToPosition(qsizetype pos);

 public slots:
  // Selects the whole text.
  void selectAll();
  // Puts the selected text on the clipboard.
  void copy();
  // Moves the selected text to the clipboard, unless read-only.
  void cut();
  // Replaces the selection with the clipboard's text, unless read-only.
  void paste();
  // Takes back the last edit, unless read-only.
  void undo();
  // Makes the last undone edit again, unless read-only.
  void redo();

 signals:
  // Emitted after every change of the text, by the user or the program.
  void textChanged();
  // Emitted when a drop is refused for a reason the user should be told (a file that is not
  // UTF-8 text or cannot be read); `message` says which file and why. Nothing was inserted.
  void dropRefused(const QString& message);

 protected:
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  // Layout.
  void ensureLayout();
  void layoutRows(bool force);
  void updateScrollRange();
  bool moreRowsThanFit() const;
  float wrapWidth() const;
  int lineHeight() const;
  int visibleRows() const;
  int topRow() const;
  void setupLayout(QTextLayout& layout, qsizetype row) const;
  void setupLineLayout(QTextLayout& layout, const QString& text, Qt::LayoutDirection direction) const;
  QRect caretRect() const;
  qsizetype positionAt(QPoint viewportPos);
  qsizetype positionInRow(qsizetype row, qreal x) const;
  qreal caretX() const;
  Qt::LayoutDirection rowDirection(qsizetype row) const;
  bool endsParagraph(qsizetype row) const;
  QList<int> rowStops(qsizetype row) const;
  qsizetype visualNeighbour(qsizetype pos, bool right) const;

  // Caret and selection.
  void moveCaret(qsizetype pos, bool extend);
  void setAnchorAndCaret(qsizetype anchor, qsizetype caret);
  void ensureCaretVisible();
  void restartBlink();
  void updateSelectionClipboard();
  bool hasSelection() const { return anchor_ != caret_; }

  // Keys.
  void runKey(const listbox::KeyBinding& binding, const QKeyEvent& event);
  qsizetype motionTarget(listbox::KeyCommand command, bool extend);

  // Editing.
  void replaceText(qsizetype pos, qsizetype length, const QString& with);
  void userEdit(qsizetype pos, qsizetype length, const QString& with, listbox::EditKind kind);
  void insertTyped(const QString& text, listbox::EditKind kind);
  void deleteSelection();

  // Input method: the rows from the caret's on, wrapped again with the preedit text in them.
  struct Composition {
    qsizetype firstRow = 0;         // the first row shown differently: the caret's
    qsizetype rowsReplaced = 0;     // how many of the box's rows the composed rows stand for
    QString text;                   // their text with the preedit inserted
    qsizetype preeditAt = 0;        // where the preedit starts in `text`
    std::vector<qsizetype> starts;  // where each composed row starts in `text`
    qsizetype end = 0;              // where the last composed row ends in `text`
  };
  std::optional<Composition> composition() const;
  QString composedRowText(const Composition& composed, std::size_t index) const;
  QRect composedCaretRect(const Composition& composed) const;
  int paintComposition(QPainter& painter, const Composition& composed, int y, bool showCaret);

  // Menu and drops.
  std::unique_ptr<QMenu> createContextMenu();
  void showContextMenu(QPoint globalPos);
  QPoint caretMenuPos() const;
  bool canDrop(const QMimeData* mime) const;
  void setDropCaret(qsizetype pos);
  bool pointOnSelection(QPoint viewportPos);
  void startTextDrag();
  bool isOwnSelectionDrag(const QMimeData* mime) const;
  void moveSelectionTo(qsizetype pos);

  // Painting.
  void drawWhitespaceMarks(QPainter& painter, const QTextLayout& layout, qsizetype row, QPointF origin,
                           qsizetype selStart, qsizetype selEnd);
  qreal lineBreakMarkX(const QTextLine& line, qsizetype row, qreal width) const;

  QString text_;
  listbox::RowIndex rows_;
  std::unique_ptr<listbox::AdvanceCache> advances_;
  float rowsWidth_ = -1.0F;
  // The logical line last asked for its direction, as rows; firstRow -1 when the text or its
  // rows have changed since.
  struct Paragraph {
    qsizetype firstRow = -1;
    qsizetype lastRow = -1;  // the last row known to belong to the line
    Qt::LayoutDirection direction = Qt::LeftToRight;
  };
  mutable Paragraph paragraph_;
  bool rowsValid_ = false;
  bool inLayout_ = false;

  qsizetype anchor_ = 0;
  qsizetype caret_ = 0;
  qreal goalX_ = -1.0;
  bool readOnly_ = false;
  QString preedit_;
  int preeditCursor_ = 0;  // the input method's caret, an offset in the preedit
  bool preeditCursorShown_ = true;
  QList<QTextLayout::FormatRange> preeditFormats_;  // offsets in the preedit

  listbox::UndoHistory history_;
  listbox::AccessibilityEvents accessibility_;
  bool scrollBarShown_ = true;
  bool whitespaceShown_ = false;
  qsizetype dropCaret_ = -1;  // where a drop would insert while something is dragged over the box

  QBasicTimer blinkTimer_;
  bool caretOn_ = true;
  QBasicTimer dragScrollTimer_;
  QPoint lastDragPos_;
  bool dragging_ = false;
  bool textDragPending_ = false;  // pressed on the selection: a drag of it starts if the mouse moves
  QPoint textDragStart_;
  QBasicTimer tripleClickTimer_;
  QPoint tripleClickPos_;
};

}  // namespace ordwell
