// Memory running out while the Sort button sorts: each large allocation of the click fails in
// turn; every time the window says so and both list boxes stay as they were.

#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "sorting/tests/allocation_failures.h"
#include "window/frm_main.h"
#include "window/tests/window_test_support.h"
#include "window/window_services.h"

using ordwell::FrmMain;
using ordwell::services::MsgBoxRecord;
using ordwell::testing::Control;
using ordwell::testing::SetTextOf;
using ordwell::testing::TextOf;

class FrmMainMemoryTest : public QObject {
  Q_OBJECT

 private slots:
  void everyLargeAllocationOfASortFailsInTurn();
};

void FrmMainMemoryTest::everyLargeAllocationOfASortFailsInTurn() {
  QTemporaryDir appDir;
  QVERIFY(appDir.isValid());
  std::vector<MsgBoxRecord> shown;
  FrmMain form(
      ordwell::services::AppFacts::WithPath(appDir.path().toStdU16String()),
      ordwell::services::MessageBoxes([&shown](const MsgBoxRecord& record) { shown.push_back(record); }));
  QWidget* listIn = Control(form, "txtListIn");
  QWidget* listOut = Control(form, "txtListOut");

  // Enough items for the sort to share them between threads, and allocations large enough to
  // tell the sort's and the text's from the widgets' own.
  std::mt19937 rng(18);
  QString list;
  for (int i = 0; i < 70000; ++i) {
    list += QString::number(rng() % 100000) + (rng() % 2 != 0 ? "Ab, " : "aB, ");
  }
  list.chop(2);
  SetTextOf(listIn, list);
  SetTextOf(listOut, "kept");
  QTest::mouseClick(Control(form, "cmdGo"), Qt::LeftButton);
  QTRY_VERIFY(TextOf(listOut) != "kept");
  const QString sorted = TextOf(listOut);
  QVERIFY(sorted != "kept");
  QVERIFY(shown.empty());

  constexpr std::size_t kLarge = std::size_t{200} << 10;
  const ordwell::testing::DisarmOnExit disarm;
  int failures = 0;
  for (std::int64_t n = 1;; ++n) {
    SetTextOf(listOut, "kept");
    shown.clear();
    ordwell::testing::FailAllocation(n, kLarge);
    QTest::mouseClick(Control(form, "cmdGo"), Qt::LeftButton);
    // The sort may finish after the click has returned.
    QTRY_VERIFY(!shown.empty() || TextOf(listOut) != "kept");
    const bool failed = ordwell::testing::AllocationFailed();
    ordwell::testing::FailAllocation(0);
    if (!failed) {
      QCOMPARE(TextOf(listOut), sorted);
      QVERIFY(shown.empty());
      break;
    }
    ++failures;
    QCOMPARE(shown.size(), std::size_t(1));
    QVERIFY(shown[0].Prompt == u"There is not enough memory to sort this list. Nothing was changed.");
    QCOMPARE(shown[0].Style, ordwell::services::vbExclamation);
    QCOMPARE(TextOf(listIn), list);
    QCOMPARE(TextOf(listOut), QString("kept"));
  }
  QVERIFY2(failures >= 2, qPrintable(QString("only %1 large allocations").arg(failures)));
}

QTEST_MAIN(FrmMainMemoryTest)
#include "frm_main_memory_test.moc"
