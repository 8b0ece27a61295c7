#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>
#include <vector>

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
  ordwell::services::SetMsgBoxHook(
      [this](const MsgBoxRecord&) { cursorAtMessage_.push_back(OverrideShape()); });
  form_ = std::make_unique<FrmMain>(ordwell::services::AppFacts::WithPath(appDir_->path().toStdU16String()));
}

void FrmMainResponsivenessTest::cleanup() {
  form_.reset();
  ordwell::services::SetMsgBoxHook({});
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

QTEST_MAIN(FrmMainResponsivenessTest)
#include "frm_main_responsiveness_test.moc"
