#pragma once

// Reading what is dropped on a list box, kept apart from the widget so it can be tested alone.

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

class QMimeData;

namespace ordwell::listbox {

// Returns the local files among the dropped URLs; empty unless every URL is one.
QStringList localFiles(const QMimeData* mime);

// Files larger than this are refused rather than read whole into a box.
constexpr qint64 kMaxDroppedFileBytes = qint64{256} * 1024 * 1024;

// Reads a regular file as UTF-8 text with '\n' line breaks, reading no more than `limit` bytes
// whatever size the file claims and refusing a NUL or invalid UTF-8 as soon as it is read; never
// waits on a pipe or device. On failure returns nothing and sets `why` to a message for the user.
std::optional<QString> readTextFile(const QString& path, QString& why, qint64 limit = kMaxDroppedFileBytes);

// Returns the text a drop of `mime` inserts: its local files' texts one after another (a line
// break between them), or else its plain text with '\n' line breaks. All files or none: when one
// cannot be read as text, returns nothing and sets `why`.
std::optional<QString> droppedText(const QMimeData* mime, QString& why);

}  // namespace ordwell::listbox
