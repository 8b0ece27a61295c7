#include "window/listbox/dropped_text.h"

#include "window/listbox/list_text_box.h"
#include "window/listbox/list_text_box_internal.h"

#include <QByteArrayView>
#include <QChar>
#include <QFile>
#include <QFileInfo>
#include <QLatin1Char>
#include <QList>
#include <QMimeData>
#include <QStringDecoder>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <utility>

#include "io/posix_file.h"

namespace ordwell::listbox {

namespace {

// Read and checked this much at a time, so a file that is refused costs no more than this.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

// Returns how many bytes at the end of `bytes` start a UTF-8 sequence that goes on beyond them.
std::size_t incompleteTail(const char* bytes, std::size_t size) {
  for (std::size_t back = 1; back <= std::min<std::size_t>(3, size); ++back) {
    const auto byte = static_cast<unsigned char>(bytes[size - back]);
    if ((byte & 0xC0) == 0x80) {
      continue;  // a continuation byte: look further back for the sequence's lead byte
    }
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? back : 0;
  }
  return 0;
}

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

std::optional<QString> readTextFile(const QString& path, QString& why, qint64 limit) {
  const QString name = QFileInfo(path).fileName();
  const auto refuse = [&why, &name](const QString& message) -> std::optional<QString> {
    why = message.arg(name);
    return std::nullopt;
  };
  const auto unreadable = [&] {
    return refuse(ListTextBox::tr("The file \u201c%1\u201d could not be read, so nothing was inserted."));
  };
  const auto notText = [&] {
    return refuse(ListTextBox::tr("The file \u201c%1\u201d is not UTF-8 text, so nothing was inserted."));
  };
  const auto tooLarge = [&] {
    return refuse(
        ListTextBox::tr("The file \u201c%1\u201d is too large to insert, so nothing was inserted."));
  };

  // Opened without waiting, so a pipe or a device cannot hold the window, and judged by what was
  // opened, so a file swapped for one after a look at the path is still caught.
  const io::UniqueFd fd = io::Open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
    return unreadable();
  }
  if (!S_ISREG(info.st_mode)) {
    return refuse(ListTextBox::tr("The file \u201c%1\u201d is not a regular file, so nothing was inserted."));
  }
  if (info.st_size > limit) {
    return tooLarge();
  }

  // The size is only a claim (files under /proc say 0): the loop reads at most one byte past the
  // limit and checks each chunk before decoding it. A sequence cut by the chunk's end is carried
  // over, so every chunk decodes alone.
  const auto buffer = std::make_unique_for_overwrite<char[]>(kChunkBytes + 3);
  QStringDecoder decoder(QStringDecoder::Utf8,
                         QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
  QString text;
  std::size_t carried = 0;
  qint64 total = 0;
  for (;;) {
    const auto wanted = static_cast<std::size_t>(std::min<qint64>(kChunkBytes, limit + 1 - total));
    const ssize_t got = io::ReadSome(fd.get(), buffer.get() + carried, wanted);
    if (got < 0) {
      return unreadable();
    }
    total += got;
    if (total > limit) {
      return tooLarge();
    }
    // A NUL byte is valid UTF-8 but marks a binary file, not a list.
    if (std::memchr(buffer.get() + carried, 0, static_cast<std::size_t>(got)) != nullptr) {
      return notText();
    }
    const std::size_t size = carried + static_cast<std::size_t>(got);
    const std::size_t complete = got == 0 ? size : size - incompleteTail(buffer.get(), size);
    const qsizetype at = text.size();
    text.resize(at + decoder.requiredSpace(static_cast<qsizetype>(complete)));
    const QChar* const end = decoder.appendToBuffer(
        text.data() + at, QByteArrayView(buffer.get(), static_cast<qsizetype>(complete)));
    text.truncate(end - text.constData());
    if (decoder.hasError()) {
      return notText();
    }
    if (got == 0) {
      break;
    }
    carried = size - complete;
    std::memmove(buffer.get(), buffer.get() + complete, carried);
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
