#include <QString>
#include <QTest>

#include <optional>
#include <random>

#include "sorting/sort_list.h"
#include "window/box_sort.h"
#include "window/window_services.h"

using ordwell::SortBoxText;
using ordwell::SortsAsCrLf;

namespace {

// What the Sort button gave when every text went through its CR LF form.
std::optional<QString> ThroughCrLf(const QString& list, const QString& separatorIn,
                                   const QString& separatorOut) {
  using ordwell::services::ToCrLf;
  const ordwell::SortResult result =
      ordwell::SortListText(ToCrLf(list), ToCrLf(separatorIn), ToCrLf(separatorOut));
  if (result.refused) return std::nullopt;
  return ordwell::services::FromCrLf(result.text);
}

// A random text over letters of both cases, separator pieces and every control character whose
// order differs between a line break and its CR LF form; `rare` of them only now and then.
QString RandomText(std::mt19937& random, int maxLength, bool rare) {
  static const QString common = QStringLiteral("aAbB, \n\n\u00e9\u00c9");
  static const QString controls = QStringLiteral("\v\f\r\t");
  QString text;
  const int length = std::uniform_int_distribution<int>(0, maxLength)(random);
  for (int i = 0; i < length; ++i) {
    const bool control = rare && std::uniform_int_distribution<int>(0, 40)(random) == 0;
    const QString& from = control ? controls : common;
    text += from[std::uniform_int_distribution<int>(0, int(from.size()) - 1)(random)];
  }
  return text;
}

}  // namespace

// Sorting the boxes' texts as they are against sorting their CR LF forms.
class BoxSortTest : public QObject {
  Q_OBJECT

 private slots:
  void sortsAsCrLfOnlyWithoutCrVerticalTabOrFormFeed_data();
  void sortsAsCrLfOnlyWithoutCrVerticalTabOrFormFeed();
  void givesWhatTheCrLfFormsGive();
};

void BoxSortTest::sortsAsCrLfOnlyWithoutCrVerticalTabOrFormFeed_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("sortsAsCrLf");
  QTest::newRow("empty") << QString() << true;
  QTest::newRow("line breaks and tabs") << QString("a\nb\t\n") << true;
  QTest::newRow("CR") << QString("a\rb") << false;
  QTest::newRow("vertical tab") << QString("\v") << false;
  QTest::newRow("form feed after a block") << QString(5000, 'x') + "\f" << false;
  QTest::newRow("long clean text") << QString(9000, '\n') << true;
}

void BoxSortTest::sortsAsCrLfOnlyWithoutCrVerticalTabOrFormFeed() {
  QFETCH(QString, text);
  QFETCH(bool, sortsAsCrLf);
  QCOMPARE(SortsAsCrLf(text), sortsAsCrLf);
}

void BoxSortTest::givesWhatTheCrLfFormsGive() {
  std::mt19937 random(20261208u);
  // Items with and without line breaks inside them, next to vertical tabs and form feeds, which
  // an LF and a CR LF pair order differently: the cases where sorting the '\n' text would go wrong.
  QCOMPARE(SortBoxText("a\nb, a\vb, a\fb", ", ", "|"), ThroughCrLf("a\nb, a\vb, a\fb", ", ", "|"));
  QCOMPARE(SortBoxText("a\nb, a\vb, a\fb", ", ", "|"), QString("a\vb|a\fb|a\nb"));
  for (int round = 0; round < 3000; ++round) {
    const bool rare = round % 4 == 0;
    const QString list = RandomText(random, 40, rare);
    const QString separatorIn = RandomText(random, 2, rare);
    const QString separatorOut = RandomText(random, 3, rare);
    const std::optional<QString> sorted = SortBoxText(list, separatorIn, separatorOut);
    if (sorted != ThroughCrLf(list, separatorIn, separatorOut)) {
      QFAIL(qPrintable(QString("differs for list '%1', separators '%2' and '%3'")
                           .arg(list.toUtf8().toPercentEncoding(), separatorIn.toUtf8().toPercentEncoding(),
                                separatorOut.toUtf8().toPercentEncoding())));
    }
  }
}

QTEST_APPLESS_MAIN(BoxSortTest)
#include "box_sort_test.moc"
