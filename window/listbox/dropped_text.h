#pragma once

// Reading what is dropped on a list box, kept apart from the widget so it can be tested alone.

#include <QString>
#include <QStringList>

#include <optional>

class QMimeData;

namespace ordwell::listbox {

// Returns the local files among the dropped URLs; empty unless every URL is one.
QStringList localFiles(const QMimeData* mime);

// Reads a file as UTF-8 text with '\n' line breaks; on failure returns nothing and sets `why` to
// a message for the user.
std::optional<QString> readTextFile(const QString& path, QString& why);

// Returns the text a drop of `mime` inserts: its local files' texts one after another (a line
// break between them), or else its plain text with '\n' line breaks. All files or none: when one
// cannot be read as text, returns nothing and sets `why`.
std::optional<QString> droppedText(const QMimeData* mime, QString& why);

}  // namespace ordwell::listbox
