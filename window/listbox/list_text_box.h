#pragma once

#include "window/listbox/row_index.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QPoint>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <utility>
#include <vector>

class QContextMenuEvent;
class QEvent;
class QFocusEvent;
class QInputMethodEvent;
class QKeyEvent;
class QMenu;
class QMouseEvent;
class QPaintEvent;
class QPainter;
class QRect;
class QResizeEvent;
class QTextLayout;
class QTimerEvent;
class QVariant;

namespace ordwell {

namespace listbox {
class AdvanceCache;
}

// A multi-line plain-text box for very large lists: the text is held once as a QString with an
// index of its wrapped rows, and only the rows in view are shaped and painted. Lines break at '\n';
// positions are QString (UTF-16) offsets. Long lines wrap at the box's width; there is never a
// horizontal scroll bar.
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

protected:
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
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
  // What kind of user edit an undo step holds; consecutive steps of one kind merge.
  enum class EditKind { Typing, DeleteBack, DeleteForward, Other };
  struct UndoStep {
    qsizetype pos = 0;
    QString removed;
    QString inserted;
    qsizetype anchorBefore = 0;
    qsizetype caretBefore = 0;
    EditKind kind = EditKind::Other;
  };

  // Layout.
  void ensureLayout();
  void layoutRows(bool force);
  void updateScrollRange();
  bool moreRowsThanFit() const;
  float wrapWidth() const;
  int lineHeight() const;
  int visibleRows() const;
  int topRow() const;
  void setupLayout(QTextLayout& layout, qsizetype row, bool withPreedit) const;
  QRect caretRect() const;
  qsizetype positionAt(QPoint viewportPos);
  qsizetype positionInRow(qsizetype row, qreal x) const;
  qreal caretX() const;

  // Caret and selection.
  void moveCaret(qsizetype pos, bool extend);
  void setAnchorAndCaret(qsizetype anchor, qsizetype caret);
  void ensureCaretVisible();
  void restartBlink();
  void updateSelectionClipboard();
  qsizetype nextGrapheme(qsizetype pos) const;
  qsizetype previousGrapheme(qsizetype pos) const;
  qsizetype previousCodePoint(qsizetype pos) const;
  qsizetype nextWordStart(qsizetype pos) const;
  qsizetype previousWordStart(qsizetype pos) const;
  int charClassAt(qsizetype pos) const;
  qsizetype snapToCodePoint(qsizetype pos, bool forward) const;
  bool hasSelection() const { return m_anchor != m_caret; }
  bool handleNavigation(QKeyEvent* event);
  bool handleEditing(QKeyEvent* event);
  bool isHandledShortcut(QKeyEvent* event) const;

  // Editing.
  void replaceText(qsizetype pos, qsizetype length, const QString& with);
  void userEdit(qsizetype pos, qsizetype length, const QString& with, EditKind kind);
  void insertTyped(const QString& text, EditKind kind);
  void deleteSelection();
  std::unique_ptr<QMenu> createContextMenu();

  QString m_text;
  listbox::RowIndex m_rows;
  std::unique_ptr<listbox::AdvanceCache> m_advances;
  float m_rowsWidth = -1.0F;
  bool m_rowsValid = false;
  bool m_inLayout = false;

  qsizetype m_anchor = 0;
  qsizetype m_caret = 0;
  qreal m_goalX = -1.0;
  bool m_readOnly = false;
  QString m_preedit;

  std::vector<UndoStep> m_undo;
  std::vector<UndoStep> m_redo;
  bool m_mergeOpen = false;

  QBasicTimer m_blinkTimer;
  bool m_caretOn = true;
  QBasicTimer m_dragScrollTimer;
  QPoint m_lastDragPos;
  bool m_dragging = false;
};

}  // namespace ordwell
