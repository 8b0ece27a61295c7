#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "sorting/sort_list.h"
#include "window/frm_main.h"
#include "window/listbox/list_text_box.h"
#include "window/tests/window_test_support.h"
#include "window/window_services.h"

using ordwell::FrmMain;
using ordwell::ListTextBox;
using ordwell::services::MsgBoxRecord;
using ordwell::testing::Control;
using ordwell::testing::SetCaret;
using ordwell::testing::SetTextOf;
using ordwell::testing::TextOf;

namespace {

// The application's override cursor now, if any.
std::optional<Qt::CursorShape> OverrideShape() {
  const QCursor* const cursor = QGuiApplication::overrideCursor();
  return cursor != nullptr ? std::optional(cursor->shape()) : std::nullopt;
}

}  // namespace

// Sorting from the keyboard, and the wait cursor while long work holds the window.
class FrmMainResponsivenessTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void ctrlReturnSortsFromEveryBox_data();
  void ctrlReturnSortsFromEveryBox();
  void sortShowsTheWaitCursorUntilTheResultIsShown();
  void onlyALargePasteShowsTheWaitCursor();
  void aLongSortKeepsTheWindowAnsweringAndIgnoresInput();

 private:
  // A shown, active window with the options panel open.
  bool ShowForm() {
    form_->show();
    QApplication::setActiveWindow(form_.get());
    QTest::mouseClick(Control(*form_, "cmdOptions"), Qt::LeftButton);
    return QTest::qWaitForWindowActive(form_.get());
  }

  std::unique_ptr<QTemporaryDir> appDir_;
  std::unique_ptr<FrmMain> form_;
  std::vector<std::optional<Qt::CursorShape>> cursorAtMessage_;
};

void FrmMainResponsivenessTest::init() {
  appDir_ = std::make_unique<QTemporaryDir>();
  QVERIFY(appDir_->isValid());
  cursorAtMessage_.clear();
  form_ = std::make_unique<FrmMain>(ordwell::services::AppFacts::WithPath(appDir_->path().toStdU16String()),
                                    ordwell::services::MessageBoxes([this](const MsgBoxRecord&) {
                                      cursorAtMessage_.push_back(OverrideShape());
                                    }));
}

void FrmMainResponsivenessTest::cleanup() {
  form_.reset();
  appDir_.reset();
}

void FrmMainResponsivenessTest::ctrlReturnSortsFromEveryBox_data() {
  QTest::addColumn<QString>("box");
  QTest::addColumn<int>("key");
  QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
  QTest::addColumn<bool>("sorts");
  const auto ctrl = Qt::KeyboardModifiers(Qt::ControlModifier);
  const auto keypadCtrl = ctrl | Qt::KeypadModifier;
  for (const char* box : {"txtListIn", "txtListOut", "txtDelimiterIn", "txtDelimiterOut"}) {
    QTest::addRow("%s Ctrl+Return", box) << box << int(Qt::Key_Return) << ctrl << true;
    QTest::addRow("%s Ctrl+Enter", box) << box << int(Qt::Key_Enter) << keypadCtrl << true;
  }
  QTest::newRow("txtListIn Return breaks the line")
      << "txtListIn" << int(Qt::Key_Return) << Qt::KeyboardModifiers() << false;
  QTest::newRow("txtListIn Enter breaks the line")
      << "txtListIn" << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier) << false;
}

void FrmMainResponsivenessTest::ctrlReturnSortsFromEveryBox() {
  QFETCH(QString, box);
  QFETCH(int, key);
  QFETCH(Qt::KeyboardModifiers, modifiers);
  QFETCH(bool, sorts);
  QVERIFY(ShowForm());
  SetTextOf(Control(*form_, "txtListIn"), "pear, Apple, banana");
  QWidget* const target = Control(*form_, box.toLatin1().constData());
  target->setFocus();
  QVERIFY(target->hasFocus());
  SetCaret(target, 1);
  const QString before = TextOf(target);

  QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
  if (sorts) {
    QCOMPARE(TextOf(Control(*form_, "txtListOut")), QString("Apple, banana, pear"));
    QCOMPARE(TextOf(target), box == "txtListOut" ? QString("Apple, banana, pear") : before);
  } else {
    QCOMPARE(TextOf(Control(*form_, "txtListOut")), QString());
    QCOMPARE(TextOf(target), QString(before).insert(1, '\n'));
  }
  QVERIFY(cursorAtMessage_.empty());
}

void FrmMainResponsivenessTest::sortShowsTheWaitCursorUntilTheResultIsShown() {
  auto* const listOut = Control<ListTextBox>(*form_, "txtListOut");
  std::vector<std::optional<Qt::CursorShape>> cursorWhenShown;
  connect(listOut, &ListTextBox::textChanged, this, [&] { cursorWhenShown.push_back(OverrideShape()); });

  SetTextOf(Control(*form_, "txtListIn"), "b, a");
  QTest::mouseClick(Control(*form_, "cmdGo"), Qt::LeftButton);
  QCOMPARE(TextOf(listOut), QString("a, b"));
  QCOMPARE(cursorWhenShown, (std::vector<std::optional<Qt::CursorShape>>{Qt::WaitCursor}));
  QCOMPARE(OverrideShape(), std::nullopt);

  // A refused sort: the message appears with the normal cursor.
  SetTextOf(Control(*form_, "txtListIn"), "b,a");
  QTest::mouseClick(Control(*form_, "cmdGo"), Qt::LeftButton);
  QCOMPARE(cursorAtMessage_, (std::vector<std::optional<Qt::CursorShape>>{std::nullopt}));
  QCOMPARE(OverrideShape(), std::nullopt);
}

void FrmMainResponsivenessTest::onlyALargePasteShowsTheWaitCursor() {
  QVERIFY(ShowForm());
  auto* const listIn = Control<ListTextBox>(*form_, "txtListIn");
  listIn->setFocus();
  std::vector<std::optional<Qt::CursorShape>> cursorWhenChanged;
  connect(listIn, &ListTextBox::textChanged, this, [&] { cursorWhenChanged.push_back(OverrideShape()); });

  QApplication::clipboard()->setText("a few\nlines\n");
  QTest::keyClick(listIn, Qt::Key_V, Qt::ControlModifier);
  QString large;
  for (int i = 0; i < 40000; ++i) large += QString("item%1\n").arg(i, 5, 10, QChar('0'));
  QApplication::clipboard()->setText(large);
  QTest::keyClick(listIn, Qt::Key_V, Qt::ControlModifier);

  QCOMPARE(TextOf(listIn), "a few\nlines\n" + large);
  QCOMPARE(cursorWhenChanged, (std::vector<std::optional<Qt::CursorShape>>{std::nullopt, Qt::WaitCursor}));
  QCOMPARE(OverrideShape(), std::nullopt);
}

void FrmMainResponsivenessTest::aLongSortKeepsTheWindowAnsweringAndIgnoresInput() {
  QVERIFY(ShowForm());
  auto* const listIn = Control<ListTextBox>(*form_, "txtListIn");
  auto* const listOut = Control<ListTextBox>(*form_, "txtListOut");
  auto* const options = Control<QPushButton>(*form_, "cmdOptions");
  QAccessibleInterface* const window = QAccessible::queryAccessibleInterface(form_.get());
  // 300,000 lines of random mixed-case words: a sort that takes a while on any machine.
  std::mt19937 random(7u);
  std::uniform_int_distribution<int> letter(0, 51);
  QString list;
  for (int i = 0; i < 300000; ++i) {
    for (int k = 0; k < 7; ++k) {
      const int l = letter(random);
      list += QChar(l < 26 ? u'a' + l : u'A' + (l - 26));
    }
    list += '\n';
  }
  SetTextOf(listIn, list);
  SetTextOf(Control(*form_, "txtDelimiterIn"), "\n");
  listIn->setFocus();
  const QString optionsCaption = options->text();

  // While the sort runs, a timer keeps firing; its first tick tries every kind of input.
  int ticksWhileSorting = 0;
  bool busyShown = true;
  QTimer ticker;
  ticker.setInterval(0);
  connect(&ticker, &QTimer::timeout, this, [&] {
    if (!form_->IsSorting()) return;
    busyShown = busyShown && window->state().busy;
    if (++ticksWhileSorting > 1) return;
    QTest::mouseClick(options, Qt::LeftButton);
    QTest::mouseClick(Control(*form_, "cmdGo"), Qt::LeftButton);
    QTest::keyClick(listIn, Qt::Key_X);
    QTest::keyClick(listIn, Qt::Key_Return, Qt::ControlModifier);
    Control<QPushButton>(*form_, "cmdAbout")->click();  // as a screen reader's press action does
  });
  const QSignalSpy shown(listOut, &ListTextBox::textChanged);
  QSignalSpy finished(form_.get(), &FrmMain::sortFinished);
  ticker.start();
  QTest::mouseClick(Control(*form_, "cmdGo"), Qt::LeftButton);
  QVERIFY(form_->IsSorting());
  QVERIFY(finished.wait(120000));
  ticker.stop();

  QVERIFY(ticksWhileSorting > 1);
  QVERIFY(busyShown);
  QVERIFY(!window->state().busy);
  QCOMPARE(OverrideShape(), std::nullopt);
  QCOMPARE(shown.count(), 1);
  const ordwell::SortResult expected = ordwell::SortListText(ordwell::services::ToCrLf(list), u"\r\n", u", ");
  QVERIFY(TextOf(listOut) == ordwell::services::FromCrLf(expected.text));
  QCOMPARE(TextOf(listIn), list);
  QCOMPARE(options->text(), optionsCaption);
  QVERIFY(cursorAtMessage_.empty());
  // Nothing was queued to act later, and the window takes input again.
  QTest::qWait(20);
  QCOMPARE(finished.count(), 1);
  QCOMPARE(shown.count(), 1);
  QTest::mouseClick(options, Qt::LeftButton);
  QVERIFY(options->text() != optionsCaption);
}

QTEST_MAIN(FrmMainResponsivenessTest)
#include "frm_main_responsiveness_test.moc"
