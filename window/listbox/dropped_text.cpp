#include "window/listbox/dropped_text.h"

#include "window/listbox/list_text_box.h"
#include "window/listbox/list_text_box_internal.h"

#include <QByteArray>
#include <QChar>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QLatin1Char>
#include <QList>
#include <QMimeData>
#include <QStringDecoder>
#include <QUrl>

#include <utility>

namespace ordwell::listbox {

namespace {

// Files larger than this are refused rather than read whole into a box.
constexpr qint64 kMaxDroppedFileBytes = qint64{256} * 1024 * 1024;

}  // namespace

QStringList localFiles(const QMimeData* mime) {
  QStringList files;
  if (mime == nullptr || !mime->hasUrls()) {
    return files;
  }
  for (const QUrl& url : mime->urls()) {
    if (!url.isLocalFile()) {
      return {};
    }
    files << url.toLocalFile();
  }
  return files;
}

std::optional<QString> readTextFile(const QString& path, QString& why) {
  const QString name = QFileInfo(path).fileName();
  QFile file(path);
  if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
    why = ListTextBox::tr("The file \u201c%1\u201d could not be read, so nothing was inserted.").arg(name);
    return std::nullopt;
  }
  if (file.size() > kMaxDroppedFileBytes) {
    why =
        ListTextBox::tr("The file \u201c%1\u201d is too large to insert, so nothing was inserted.").arg(name);
    return std::nullopt;
  }
  const QByteArray bytes = file.readAll();
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decoder.decode(bytes);
  // A NUL byte is valid UTF-8 but marks a binary file, not a list.
  if (decoder.hasError() || bytes.contains('\0')) {
    why = ListTextBox::tr("The file \u201c%1\u201d is not UTF-8 text, so nothing was inserted.").arg(name);
    return std::nullopt;
  }
  if (text.startsWith(QChar(0xFEFF))) {
    text.remove(0, 1);
  }
  return withLineFeeds(std::move(text));
}

std::optional<QString> droppedText(const QMimeData* mime, QString& why) {
  const QStringList files = localFiles(mime);
  if (files.isEmpty()) {
    return withLineFeeds(mime != nullptr ? mime->text() : QString());
  }
  QString inserted;
  for (const QString& path : files) {
    const std::optional<QString> text = readTextFile(path, why);
    if (!text) {
      return std::nullopt;
    }
    if (!inserted.isEmpty() && !inserted.endsWith(QLatin1Char('\n'))) {
      inserted += QLatin1Char('\n');
    }
    inserted += *text;
  }
  return inserted;
}

}  // namespace ordwell::listbox
