#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// The Sort button's transformation on the texts as the boxes hold them ('\n' line breaks), so a
// long list is neither copied to CR LF line breaks on the way in nor back on the way out.
namespace ordwell {

// Returns what SortListText gives for the CR LF forms of the three texts, with its CR LF line
// breaks turned back into '\n'; std::nullopt when SortListText refuses the list. Throws what
// SortListText throws (std::length_error, std::bad_alloc). Safe to call on any thread.
std::optional<QString> SortBoxText(const QString& listText, const QString& inputSeparator,
                                   const QString& outputSeparator);

// Returns whether sorting `text` as it is gives the order of its CR LF form: true unless it
// holds a CR (which the CR LF form would read as a line break) or a vertical tab or form feed
// (which sort between LF and CR, so a line break inside an item would compare differently).
bool SortsAsCrLf(QStringView text);

}  // namespace ordwell
