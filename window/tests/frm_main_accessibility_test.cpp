#include <QAccessible>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "window/frm_main.h"
#include "window/tests/window_test_support.h"
#include "window/window_services.h"

using ordwell::FrmMain;
using ordwell::testing::Control;
using ordwell::testing::SetTextOf;

// What assistive technology is told about the window's controls.
class FrmMainAccessibilityTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void everyControlHasItsRoleAndName_data();
  void everyControlHasItsRoleAndName();
  void everyBoxReadsItsTextThroughTheTextInterface_data();
  void everyBoxReadsItsTextThroughTheTextInterface();
  void windowIsAWindowNamedByItsTitle();

 private:
  std::unique_ptr<QTemporaryDir> appDir_;
  std::unique_ptr<FrmMain> form_;
};

void FrmMainAccessibilityTest::init() {
  appDir_ = std::make_unique<QTemporaryDir>();
  QVERIFY(appDir_->isValid());
  form_ = std::make_unique<FrmMain>(ordwell::services::AppFacts::WithPath(appDir_->path().toStdU16String()));
}

void FrmMainAccessibilityTest::everyControlHasItsRoleAndName_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<QAccessible::Role>("role");
  QTest::addColumn<QString>("name");
  QTest::newRow("input list") << "txtListIn" << QAccessible::EditableText << "Input List:";
  QTest::newRow("output list") << "txtListOut" << QAccessible::EditableText << "Output List:";
  // The two separator captions wrap onto two lines; the name is still the caption as written.
  QTest::newRow("input separator") << "txtDelimiterIn" << QAccessible::EditableText << "Input Seperator:";
  QTest::newRow("output separator") << "txtDelimiterOut" << QAccessible::EditableText << "Output Seperator:";
  QTest::newRow("options button") << "cmdOptions" << QAccessible::Button << "Options >>";
  QTest::newRow("about button") << "cmdAbout" << QAccessible::Button << "About";
  QTest::newRow("sort button") << "cmdGo" << QAccessible::Button << "Sort";
}

void FrmMainAccessibilityTest::everyControlHasItsRoleAndName() {
  QFETCH(QString, control);
  QFETCH(QAccessible::Role, role);
  QFETCH(QString, name);
  QAccessibleInterface* const iface =
      QAccessible::queryAccessibleInterface(Control(*form_, control.toLatin1().constData()));
  QVERIFY(iface != nullptr);
  QCOMPARE(iface->role(), role);
  QCOMPARE(iface->text(QAccessible::Name), name);
  if (role == QAccessible::Button) {
    // Every button says what it does, the tooltip read as its description.
    QVERIFY(!iface->text(QAccessible::Description).isEmpty());
  } else {
    // The caption is announced as the box's label.
    const auto labels = iface->relations(QAccessible::Label);
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels.front().first->text(QAccessible::Name), name);
    QCOMPARE(labels.front().first->role(), QAccessible::StaticText);
  }
}

void FrmMainAccessibilityTest::everyBoxReadsItsTextThroughTheTextInterface_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("editable");
  QTest::newRow("input list") << "txtListIn"
                              << "pear\nApple\nbanana" << true;
  QTest::newRow("output list") << "txtListOut"
                               << "Apple\nbanana\npear" << false;
  QTest::newRow("input separator") << "txtDelimiterIn"
                                   << " | " << true;
  QTest::newRow("output separator") << "txtDelimiterOut"
                                    << ";" << true;
  // The separator boxes draw marks for spaces, tabs and line breaks; the text read stays as typed.
  QTest::newRow("separator of whitespace") << "txtDelimiterOut"
                                           << " \t\n " << true;
}

void FrmMainAccessibilityTest::everyBoxReadsItsTextThroughTheTextInterface() {
  QFETCH(QString, control);
  QFETCH(QString, text);
  QFETCH(bool, editable);
  QWidget* const box = Control(*form_, control.toLatin1().constData());
  SetTextOf(box, text);
  QAccessibleInterface* const iface = QAccessible::queryAccessibleInterface(box);
  QAccessibleTextInterface* const textInterface = iface->textInterface();
  QVERIFY(textInterface != nullptr);
  QCOMPARE(textInterface->characterCount(), text.size());
  QCOMPARE(textInterface->text(0, textInterface->characterCount()), text);
  QCOMPARE(iface->text(QAccessible::Value), text);
  QCOMPARE(iface->state().readOnly, !editable);
  QCOMPARE(iface->editableTextInterface() != nullptr, editable);
}

void FrmMainAccessibilityTest::windowIsAWindowNamedByItsTitle() {
  QAccessibleInterface* const iface = QAccessible::queryAccessibleInterface(form_.get());
  QCOMPARE(iface->role(), QAccessible::Window);
  QCOMPARE(iface->text(QAccessible::Name), QString("Ordwell 1.0 Beta"));
  QCOMPARE(iface->childCount(), 8);  // two captions, two lists, three buttons, the options frame
  // Only the window is a window; the panel inside the options frame is a plain container.
  QCOMPARE(QAccessible::queryAccessibleInterface(Control(*form_, "picOptions"))->role(), QAccessible::Client);
}

QTEST_MAIN(FrmMainAccessibilityTest)
#include "frm_main_accessibility_test.moc"
