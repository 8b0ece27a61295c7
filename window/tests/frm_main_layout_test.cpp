#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRect>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "window/frm_main.h"
#include "window/tests/window_test_support.h"

using ordwell::FrmMain;
using ordwell::testing::Caption;
using ordwell::testing::Control;
using ordwell::testing::SelectedTextOf;
using ordwell::testing::SelectionOf;
using ordwell::testing::SetCaret;
using ordwell::testing::SetTextOf;
using ordwell::testing::TextOf;

namespace {

// A rectangle given in twips, in pixels.
QRect Px(int left, int top, int width, int height) {
  return QRect(left / 15, top / 15, width / 15, height / 15);
}

}  // namespace

class FrmMainLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void clientAreaIs500By308AtCreation();
  void everyControlSitsWhereTheTablePutsIt_data();
  void everyControlSitsWhereTheTablePutsIt();
  void captionsAreExactAndDefineNoAccessKey();
  void captionsFitTheirLabelsWithSeparatorLabelsOnTwoLines();
  void closedWindowHidesTheWholeFrame();
  void focusStartsInTheInputListAndTabWrapsBothWays();
  void enterAndTabInEachBox_data();
  void enterAndTabInEachBox();
  void outputListRefusesEditsButAllowsSelectingAndCopying();
  void longLinesWrapWithoutSidewaysScrolling_data();
  void longLinesWrapWithoutSidewaysScrolling();
  void noButtonIsPressedByEnterOrEscape();
  void windowCarriesBothIconImages();

 private:
  std::unique_ptr<QTemporaryDir> appDir_;
  std::unique_ptr<FrmMain> form_;
};

void FrmMainLayoutTest::init() {
  appDir_ = std::make_unique<QTemporaryDir>();
  QVERIFY(appDir_->isValid());
  form_ = std::make_unique<FrmMain>(ordwell::services::AppFacts::WithPath(appDir_->path().toStdU16String()));
}

void FrmMainLayoutTest::cleanup() {
  form_.reset();
  appDir_.reset();
}

void FrmMainLayoutTest::clientAreaIs500By308AtCreation() {
  QCOMPARE(form_->size(), QSize(500, 308));
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  QCOMPARE(form_->size(), QSize(500, 308));
}

void FrmMainLayoutTest::everyControlSitsWhereTheTablePutsIt_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<int>("index");
  QTest::addColumn<QRect>("rect");
  QTest::addColumn<QString>("container");
  const QString window;  // the form itself has no object name
  QTest::newRow("lblCaption(2)") << "lblCaption" << 2 << Px(150, 150, 690, 195) << window;
  QTest::newRow("lblCaption(3)") << "lblCaption" << 3 << Px(3810, 150, 810, 195) << window;
  QTest::newRow("txtListIn") << "txtListIn" << -1 << Px(150, 420, 3555, 3570) << window;
  QTest::newRow("txtListOut") << "txtListOut" << -1 << Px(3810, 420, 3555, 3570) << window;
  QTest::newRow("cmdOptions") << "cmdOptions" << -1 << Px(150, 4140, 1365, 345) << window;
  QTest::newRow("cmdAbout") << "cmdAbout" << -1 << Px(5565, 4140, 345, 345) << window;
  QTest::newRow("cmdGo") << "cmdGo" << -1 << Px(6000, 4140, 1365, 345) << window;
  QTest::newRow("fraOptions") << "fraOptions" << -1 << Px(150, 4665, 7215, 1170) << window;
  QTest::newRow("picOptions") << "picOptions" << -1 << Px(30, 210, 7140, 915) << "fraOptions";
  QTest::newRow("lblCaption(0)") << "lblCaption" << 0 << Px(150, 60, 750, 390) << "picOptions";
  QTest::newRow("txtDelimiterIn") << "txtDelimiterIn" << -1 << Px(960, 60, 1170, 690) << "picOptions";
  QTest::newRow("lblCaption(1)") << "lblCaption" << 1 << Px(2355, 60, 750, 390) << "picOptions";
  QTest::newRow("txtDelimiterOut") << "txtDelimiterOut" << -1 << Px(3165, 60, 1170, 690) << "picOptions";
}

void FrmMainLayoutTest::everyControlSitsWhereTheTablePutsIt() {
  QFETCH(QString, name);
  QFETCH(int, index);
  QFETCH(QRect, rect);
  QFETCH(QString, container);
  const QWidget* control = index >= 0 ? Caption(*form_, index) : Control(*form_, name.toLatin1().constData());
  QCOMPARE(control->geometry(), rect);
  QCOMPARE(control->parentWidget()->objectName(), container);
}

void FrmMainLayoutTest::captionsAreExactAndDefineNoAccessKey() {
  const QStringList expected = {"Input Seperator:", "Output Seperator:", "Input List:", "Output List:"};
  for (int i = 0; i < 4; ++i) {
    QCOMPARE(Caption(*form_, i)->text(), expected[i]);
    // Each caption names its box through its buddy; with no '&' it still defines no access key.
    QVERIFY(QKeySequence::mnemonic(Caption(*form_, i)->text()).isEmpty());
  }
  QCOMPARE(Control<QPushButton>(*form_, "cmdOptions")->text(), QString("Options >>"));
  QCOMPARE(Control<QPushButton>(*form_, "cmdAbout")->text(), QString("?"));
  QCOMPARE(Control<QPushButton>(*form_, "cmdGo")->text(), QString("Sort"));
  QCOMPARE(Control<QGroupBox>(*form_, "fraOptions")->title(), QString("Options"));
  for (const QPushButton* button : form_->findChildren<QPushButton*>()) {
    QVERIFY(QKeySequence::mnemonic(button->text()).isEmpty());
  }
  QCOMPARE(TextOf(Control(*form_, "txtListIn")), QString());
  QCOMPARE(TextOf(Control(*form_, "txtListOut")), QString());
  QCOMPARE(TextOf(Control(*form_, "txtDelimiterIn")), QString(", "));
  QCOMPARE(TextOf(Control(*form_, "txtDelimiterOut")), QString(", "));
}

void FrmMainLayoutTest::captionsFitTheirLabelsWithSeparatorLabelsOnTwoLines() {
  for (int i = 0; i < 4; ++i) {
    const QLabel* label = Caption(*form_, i);
    const QFontMetrics metrics(label->font());
    const QRect box = label->contentsRect();
    const QRect used = metrics.boundingRect(box, Qt::TextWordWrap, label->text());
    const int lines = (used.height() + metrics.lineSpacing() / 2) / metrics.lineSpacing();
    QVERIFY2(used.height() <= box.height(), qPrintable(label->text()));
    QCOMPARE(label->wordWrap(), i < 2);
    QCOMPARE(lines, i < 2 ? 2 : 1);
    for (const QString& word : label->text().split(' ')) {
      QVERIFY2(metrics.horizontalAdvance(word) <= box.width(), qPrintable(word));
    }
  }
}

void FrmMainLayoutTest::closedWindowHidesTheWholeFrame() {
  const QRect frame = Control(*form_, "fraOptions")->geometry();
  QVERIFY(!form_->rect().intersects(frame));
  QCOMPARE(frame.top() - form_->height(), 45 / 15);
}

void FrmMainLayoutTest::focusStartsInTheInputListAndTabWrapsBothWays() {
  form_->show();
  QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  QCOMPARE(QApplication::focusWidget()->objectName(), QString("txtListIn"));
  const QStringList order = {"txtListOut",     "cmdOptions",      "cmdAbout", "cmdGo",
                             "txtDelimiterIn", "txtDelimiterOut", "txtListIn"};
  for (const QString& next : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), next);
  }
  for (auto it = order.rbegin() + 1; it != order.rend(); ++it) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget()->objectName(), *it);
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
  QCOMPARE(QApplication::focusWidget()->objectName(), QString("txtListIn"));
}

void FrmMainLayoutTest::enterAndTabInEachBox_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("afterEnter");
  QTest::addColumn<QString>("next");
  QTest::newRow("txtListIn") << "txtListIn"
                             << "\n"
                             << "txtListOut";
  QTest::newRow("txtListOut (read-only)") << "txtListOut"
                                          << ""
                                          << "cmdOptions";
  QTest::newRow("txtDelimiterIn") << "txtDelimiterIn"
                                  << ", \n"
                                  << "txtDelimiterOut";
  QTest::newRow("txtDelimiterOut") << "txtDelimiterOut"
                                   << ", \n"
                                   << "txtListIn";
}

void FrmMainLayoutTest::enterAndTabInEachBox() {
  QFETCH(QString, name);
  QFETCH(QString, afterEnter);
  QFETCH(QString, next);
  form_->show();
  QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  QWidget* box = Control(*form_, name.toLatin1().constData());
  box->setFocus();
  SetCaret(box, TextOf(box).size());
  QTest::keyClick(box, Qt::Key_Return);
  QTest::keyClick(box, Qt::Key_Enter, Qt::KeypadModifier);
  const QString twice = afterEnter.isEmpty() ? QString() : afterEnter + "\n";
  QCOMPARE(TextOf(box), twice);
  QTest::keyClick(box, Qt::Key_Tab);
  QCOMPARE(TextOf(box), twice);
  QCOMPARE(QApplication::focusWidget()->objectName(), next);
}

void FrmMainLayoutTest::outputListRefusesEditsButAllowsSelectingAndCopying() {
  form_->show();
  QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  QWidget* listIn = Control(*form_, "txtListIn");
  QWidget* listOut = Control(*form_, "txtListOut");
  QTest::keyClicks(listIn, "b, a");
  QTest::mouseClick(Control(*form_, "cmdGo"), Qt::LeftButton);
  QCOMPARE(TextOf(listOut), QString("a, b"));  // the program's own setting works

  listOut->setFocus();
  QGuiApplication::clipboard()->setText("pasted");
  QTest::keyClicks(listOut, "typed");
  QTest::keyClick(listOut, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(listOut, Qt::Key_Home);
  QTest::keyClick(listOut, Qt::Key_Delete);
  QTest::keyClick(listOut, Qt::Key_End);
  QTest::keyClick(listOut, Qt::Key_Backspace);
  QCOMPARE(TextOf(listOut), QString("a, b"));
  QCOMPARE(SelectionOf(listOut), std::make_pair(qsizetype(4), qsizetype(0)));  // the caret moved

  QTest::keyClick(listOut, Qt::Key_Home, Qt::ShiftModifier);
  QTest::keyClick(listOut, Qt::Key_X, Qt::ControlModifier);
  QCOMPARE(TextOf(listOut), QString("a, b"));
  QCOMPARE(SelectedTextOf(listOut), QString("a, b"));
  QTest::keyClick(listOut, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QGuiApplication::clipboard()->text(), QString("a, b"));
}

void FrmMainLayoutTest::longLinesWrapWithoutSidewaysScrolling_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("line");
  QTest::newRow("txtListIn, words") << "txtListIn" << QString("word ").repeated(400);
  QTest::newRow("txtListIn, one long word") << "txtListIn" << QString("x").repeated(2000);
  QTest::newRow("txtListOut, words") << "txtListOut" << QString("word ").repeated(400);
  QTest::newRow("txtDelimiterIn, words") << "txtDelimiterIn" << QString("word ").repeated(40);
}

void FrmMainLayoutTest::longLinesWrapWithoutSidewaysScrolling() {
  QFETCH(QString, name);
  QFETCH(QString, line);
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  auto* box = Control<QAbstractScrollArea>(*form_, name.toLatin1().constData());
  SetTextOf(box, line);
  QCoreApplication::processEvents();
  QCOMPARE(box->horizontalScrollBar()->maximum(), 0);
  QVERIFY(box->verticalScrollBar()->maximum() > 0);  // the single line took many rows
}

void FrmMainLayoutTest::noButtonIsPressedByEnterOrEscape() {
  for (const QPushButton* button : form_->findChildren<QPushButton*>()) {
    QVERIFY(!button->isDefault());
    QVERIFY(!button->autoDefault());
  }
  form_->show();
  QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  auto* options = Control<QPushButton>(*form_, "cmdOptions");
  options->setFocus();
  QTest::keyClick(options, Qt::Key_Return);
  QTest::keyClick(options, Qt::Key_Escape);
  QCOMPARE(options->text(), QString("Options >>"));
  QCOMPARE(form_->height(), 308);
}

void FrmMainLayoutTest::windowCarriesBothIconImages() {
  const QList<QSize> sizes = form_->windowIcon().availableSizes();
  QVERIFY(sizes.contains(QSize(32, 32)));
  QVERIFY(sizes.contains(QSize(16, 16)));
  const QImage small = form_->windowIcon().pixmap(QSize(16, 16)).toImage();
  QCOMPARE(small.size(), QSize(16, 16));
  QCOMPARE(small.pixelColor(0, 0).alpha(), 0);  // outside the sheets is transparent
}

QTEST_MAIN(FrmMainLayoutTest)
#include "frm_main_layout_test.moc"
