#pragma once

#include <QList>
#include <QStringView>
#include <QtGlobal>

#include <optional>

class QTextLayout;

namespace ordwell::listbox {

// Returns the direction of the first strong character of the paragraph that starts `text` (up to
// its first '\n'), skipping isolated runs as the bidi algorithm does; nothing when it has none.
std::optional<Qt::LayoutDirection> firstStrongDirection(QStringView text);

// Returns the caret positions of a one-line layout in the order they appear from left to right,
// as the layout's left and right cursor moves step through them.
QList<int> visualStops(const QTextLayout& layout);

}  // namespace ordwell::listbox
