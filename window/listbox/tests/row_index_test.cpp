#include "window/listbox/row_index.h"
#include "window/listbox/advance_cache.h"

#include <QFont>
#include <QRandomGenerator>
#include <QString>
#include <QTest>

#include <vector>

using ordwell::listbox::AdvanceCache;
using ordwell::listbox::RowIndex;

namespace {

std::vector<qsizetype> startsOf(const RowIndex& rows) {
  std::vector<qsizetype> starts;
  for (qsizetype row = 0; row < rows.rowCount(); ++row) {
    starts.push_back(rows.rowStart(row));
  }
  return starts;
}

}  // namespace

class RowIndexTest : public QObject {
  Q_OBJECT

 private slots:
  void rowsBreakAtSpacesElseBetweenWholeCharacters_data();
  void rowsBreakAtSpacesElseBetweenWholeCharacters();
  void incrementalUpdateMatchesFullRebuild();
};

void RowIndexTest::rowsBreakAtSpacesElseBetweenWholeCharacters_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("mustNotStartRow");  // a character no row may start with
  QTest::newRow("words") << QString("alpha beta gamma delta epsilon zeta eta theta iota kappa").repeated(4)
                         << "";
  QTest::newRow("one long word") << QString("x").repeated(500) << "";
  QTest::newRow("surrogate pairs") << QString::fromUtf8("\xF0\x9F\x98\x80").repeated(300) << "";
  QTest::newRow("combining marks") << QString::fromUtf8("e\xCC\x81").repeated(300)
                                   << QString::fromUtf8("\xCC\x81");
  QTest::newRow("zero-width characters") << QString(QChar(0x200B)).repeated(10000) << "";
}

void RowIndexTest::rowsBreakAtSpacesElseBetweenWholeCharacters() {
  QFETCH(QString, text);
  QFETCH(QString, mustNotStartRow);
  AdvanceCache advances(QFont(), nullptr);
  RowIndex rows;
  rows.rebuild(text, 100.0F, advances);
  QVERIFY2(rows.rowCount() > 1, "a text far wider than the box takes several rows");
  const bool hasSpaces = text.contains(QLatin1Char(' '));
  for (qsizetype row = 1; row < rows.rowCount(); ++row) {
    const qsizetype start = rows.rowStart(row);
    QVERIFY(start > rows.rowStart(row - 1));
    QVERIFY2(!text.at(start).isLowSurrogate(), "no row starts inside a surrogate pair");
    if (!mustNotStartRow.isEmpty()) {
      QVERIFY(text.at(start) != mustNotStartRow.at(0));
    }
    if (hasSpaces) {
      QCOMPARE(text.at(start - 1), QLatin1Char(' '));
    }
  }
  QCOMPARE(rows.rowOf(text.size()), rows.rowCount() - 1);
}

void RowIndexTest::incrementalUpdateMatchesFullRebuild() {
  // Random edits of a text with short lines, long wrapped lines and line breaks: after each, the
  // incrementally updated rows must equal a fresh wrap of the new text.
  AdvanceCache advances(QFont(), nullptr);
  QRandomGenerator random(20240611);
  const QString pieces[] = {"a",
                            " ",
                            "\n",
                            "word ",
                            "longerword",
                            "\n\n",
                            QString::fromUtf8("\xF0\x9F\x98\x80"),
                            QString("y").repeated(40),
                            "  "};
  QString text = QString("one two three four five six seven\nshort\n").repeated(20);
  RowIndex rows;
  rows.rebuild(text, 120.0F, advances);
  for (int round = 0; round < 400; ++round) {
    auto pos = static_cast<qsizetype>(random.bounded(static_cast<int>(text.size()) + 1));
    auto end = std::min<qsizetype>(text.size(), pos + random.bounded(6));
    // Edits keep surrogate pairs whole, as the box's do.
    if (pos < text.size() && text.at(pos).isLowSurrogate()) {
      --pos;
    }
    if (end < text.size() && text.at(end).isLowSurrogate()) {
      ++end;
    }
    const qsizetype removed = end - pos;
    const QString inserted = random.bounded(3) == 0 ? QString() : pieces[random.bounded(9)];
    text.replace(pos, removed, inserted);
    rows.update(text, pos, removed, inserted.size(), 120.0F, advances);
    RowIndex fresh;
    fresh.rebuild(text, 120.0F, advances);
    QCOMPARE(startsOf(rows), startsOf(fresh));
  }
}

QTEST_MAIN(RowIndexTest)
#include "row_index_test.moc"
