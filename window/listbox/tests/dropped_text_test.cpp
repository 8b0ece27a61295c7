#include "window/listbox/dropped_text.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <string>

namespace {

// The process's peak resident memory in KiB.
long peakKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::stol(line.substr(6));
    }
  }
  return -1;
}

}  // namespace

// Reading dropped files: what is inserted, what is refused and why, whatever the file claims.
class DroppedTextTest : public QObject {
  Q_OBJECT

 private slots:
  void readsOnlyRegularTextFilesWithinTheLimit_data();
  void readsOnlyRegularTextFilesWithinTheLimit();
};

void DroppedTextTest::readsOnlyRegularTextFilesWithinTheLimit_data() {
  QTest::addColumn<QString>("kind");  // how the file is made
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<qint64>("limit");
  QTest::addColumn<QString>("inserted");  // the text's start when read, else empty
  QTest::addColumn<QString>("refusal");   // a word of the message when refused, else empty
  const qint64 full = ordwell::listbox::kMaxDroppedFileBytes;
  const QByteArray chunk(1 << 20, 'a');
  QTest::newRow("good file") << "file" << QByteArray("\xEF\xBB\xBFpear\r\n\xC3\xA4pple\r\n") << full
                             << QString::fromUtf8("pear\n\xC3\xA4pple\n") << "";
  QTest::newRow("character across a read") << "file" << chunk.left(chunk.size() - 1) + "\xE2\x82\xAC\n"
                                           << full << QString(chunk.size() - 1, 'a') + QChar(0x20AC) + '\n'
                                           << "";
  QTest::newRow("invalid UTF-8") << "file" << QByteArray("caf\xE9 latin-1\n") << full << ""
                                 << "UTF-8";
  QTest::newRow("character cut at the end") << "file" << QByteArray("ab\xE2\x82") << full << ""
                                            << "UTF-8";
  QTest::newRow("NUL after a good read") << "file" << chunk + QByteArray(1, '\0') << full << ""
                                         << "UTF-8";
  QTest::newRow("255 MiB of NUL") << "zeros" << QByteArray() << full << ""
                                  << "UTF-8";
  QTest::newRow("larger than the limit") << "file" << QByteArray(65, 'x') << qint64(64) << ""
                                         << "too large";
  QTest::newRow("size-0 /proc file") << "/proc/self/status" << QByteArray() << full << "Name:"
                                     << "";
  QTest::newRow("size-0 /proc file beyond the limit") << "/proc/self/maps" << QByteArray() << qint64(64) << ""
                                                      << "too large";
  QTest::newRow("read error") << "/proc/self/mem" << QByteArray() << full << ""
                              << "could not be read";
  QTest::newRow("missing file") << "missing" << QByteArray() << full << ""
                                << "could not be read";
  QTest::newRow("unreadable file") << "unreadable" << QByteArray("secret\n") << full << ""
                                   << "could not be read";
  QTest::newRow("FIFO") << "fifo" << QByteArray() << full << ""
                        << "regular file";
  QTest::newRow("folder") << "folder" << QByteArray() << full << ""
                          << "regular file";
}

void DroppedTextTest::readsOnlyRegularTextFilesWithinTheLimit() {
  QFETCH(QString, kind);
  QFETCH(QByteArray, bytes);
  QFETCH(qint64, limit);
  QFETCH(QString, inserted);
  QFETCH(QString, refusal);
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  QString path = kind.startsWith('/') ? kind : QDir(dir.path()).filePath("list.txt");
  const QByteArray local = QFile::encodeName(path);
  if (kind == "file" || kind == "zeros" || kind == "unreadable") {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    // Sparse: the zeros take no disk, and reading them is as fast as the reader lets it be.
    if (kind == "zeros") QVERIFY(file.resize(qint64{255} << 20));
  }
  if (kind == "unreadable") {
    if (::geteuid() == 0) QSKIP("root reads any file");
    QVERIFY(::chmod(local.constData(), 0) == 0);
  }
  if (kind == "fifo") QVERIFY(::mkfifo(local.constData(), 0600) == 0);
  if (kind == "folder") QVERIFY(QDir(dir.path()).mkdir("list.txt"));

  const long peakBefore = peakKb();
  QString why;
  const std::optional<QString> text = ordwell::listbox::readTextFile(path, why, limit);
  if (refusal.isEmpty()) {
    QVERIFY2(text.has_value(), qPrintable(why));
    QVERIFY(text->startsWith(inserted));
    if (kind == "file") QCOMPARE(*text, inserted);
  } else {
    QVERIFY(!text.has_value());
    QVERIFY2(why.contains(refusal) && why.contains(QFileInfo(path).fileName()), qPrintable(why));
  }
  // A refusal costs no more memory than one read's worth, whatever the file's size.
  if (kind == "zeros") QVERIFY(peakKb() - peakBefore < 16 * 1024);
}

QTEST_GUILESS_MAIN(DroppedTextTest)
#include "dropped_text_test.moc"
