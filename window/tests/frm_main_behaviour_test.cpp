#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "prefs/mod_standard.h"
#include "sorting/sort_list.h"
#include "window/frm_main.h"
#include "window/tests/window_test_support.h"
#include "window/window_services.h"

using ordwell::FrmMain;
using ordwell::services::MsgBoxRecord;
using ordwell::testing::Control;
using ordwell::testing::SelectionOf;
using ordwell::testing::SetCaret;
using ordwell::testing::SetTextOf;
using ordwell::testing::TextOf;

namespace {

QByteArray PrefsFile(const QString& dir) {
  QFile file(QDir(dir).filePath("Prefs.ini"));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The file's lines without line endings and without blank lines.
QStringList PrefsLines(const QString& dir) {
  QStringList lines;
  for (QString line : QString::fromUtf8(PrefsFile(dir)).split('\n')) {
    if (line.endsWith('\r')) line.chop(1);
    if (!line.isEmpty()) lines << line;
  }
  return lines;
}

}  // namespace

class FrmMainBehaviourTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void firstStartWithoutSettingsUsesTheDefaults();
  void unloadWritesExactlyTheThreeSettings();
  void settingsSurviveTwoWindowLifetimes();
  void optionsButtonTogglesThePanelHeightAndCaption();
  void ctrlAloneWithASelectsTheWholeList_data();
  void ctrlAloneWithASelectsTheWholeList();
  void sortWritesTheSortedListIntoTheOutputBox_data();
  void sortWritesTheSortedListIntoTheOutputBox();
  void refusedSortShowsTheWarningAndChangesNoBox();
  void aboutShowsTheSameTenLinesOnEveryClick();
  void unloadRunsOnceWhateverEndsTheWindow();
  void separatorBoxesShowWhitespaceWithoutScrollBars();
  void windowShowsWithAMegabyteStoredSeparator();
  void droppedFileThatIsNotTextShowsAWarning();

 private:
  // A window whose message boxes are recorded in shown_.
  std::unique_ptr<FrmMain> NewForm() {
    return std::make_unique<FrmMain>(
        ordwell::services::AppFacts::WithPath(appDir_->path().toStdU16String()),
        ordwell::services::MessageBoxes([this](const MsgBoxRecord& record) { shown_.push_back(record); }));
  }

  std::unique_ptr<QTemporaryDir> appDir_;
  std::vector<MsgBoxRecord> shown_;
};

void FrmMainBehaviourTest::init() {
  appDir_ = std::make_unique<QTemporaryDir>();
  QVERIFY(appDir_->isValid());
  shown_.clear();
}

void FrmMainBehaviourTest::cleanup() { appDir_.reset(); }

void FrmMainBehaviourTest::firstStartWithoutSettingsUsesTheDefaults() {
  const auto form = NewForm();
  QCOMPARE(form->windowTitle(), QString("Ordwell 1.0 Beta"));
  QCOMPARE(TextOf(Control(*form, "txtDelimiterIn")), QString(", "));
  QCOMPARE(TextOf(Control(*form, "txtDelimiterOut")), QString(", "));
  QCOMPARE(Control<QPushButton>(*form, "cmdOptions")->text(), QString("Options >>"));
  QCOMPARE(form->height(), 308);
  QVERIFY(!QFile::exists(QDir(appDir_->path()).filePath("Prefs.ini")));  // loading writes nothing
}

void FrmMainBehaviourTest::unloadWritesExactlyTheThreeSettings() {
  auto form = NewForm();
  form->show();
  QVERIFY(form->close());
  const QStringList expected = {"[Prefs]", "DelimiterIn=,lsSpc", "DelimiterOut=,lsSpc", "OptionsOpen=False"};
  QCOMPARE(PrefsLines(appDir_->path()), expected);
}

void FrmMainBehaviourTest::settingsSurviveTwoWindowLifetimes() {
  {
    auto form = NewForm();
    form->show();
    QTest::mouseClick(Control(*form, "cmdOptions"), Qt::LeftButton);
    QWidget* delimiterIn = Control(*form, "txtDelimiterIn");
    SetTextOf(delimiterIn, QString());
    QTest::keyClick(delimiterIn, Qt::Key_Return);  // a line break as the input separator
    SetTextOf(Control(*form, "txtDelimiterOut"), " | ");
    QVERIFY(form->close());
  }
  QCOMPARE(PrefsLines(appDir_->path()),
           QStringList({"[Prefs]", "DelimiterIn=lsCrLf", "DelimiterOut=lsSpc|lsSpc", "OptionsOpen=True"}));
  {
    auto form = NewForm();
    QCOMPARE(Control<QPushButton>(*form, "cmdOptions")->text(), QString("Options <<"));
    QCOMPARE(form->height(), 400);
    QCOMPARE(TextOf(Control(*form, "txtDelimiterIn")), QString("\n"));
    QCOMPARE(TextOf(Control(*form, "txtDelimiterOut")), QString(" | "));
    // An emptied separator comes back as the default.
    SetTextOf(Control(*form, "txtDelimiterOut"), QString());
    QTest::mouseClick(Control(*form, "cmdOptions"), Qt::LeftButton);
    form->show();
    QVERIFY(form->close());
  }
  const auto form = NewForm();
  QCOMPARE(TextOf(Control(*form, "txtDelimiterOut")), QString(", "));
  QCOMPARE(Control<QPushButton>(*form, "cmdOptions")->text(), QString("Options >>"));
  QCOMPARE(form->height(), 308);
}

void FrmMainBehaviourTest::optionsButtonTogglesThePanelHeightAndCaption() {
  const auto form = NewForm();
  form->show();
  QVERIFY(QTest::qWaitForWindowExposed(form.get()));
  auto* options = Control<QPushButton>(*form, "cmdOptions");
  const QRect frame = Control(*form, "fraOptions")->geometry();
  const QRect sortButton = Control(*form, "cmdGo")->geometry();
  for (int click = 1; click <= 4; ++click) {
    QTest::mouseClick(options, Qt::LeftButton);
    const bool open = click % 2 == 1;
    QCOMPARE(options->text(), QString(open ? "Options <<" : "Options >>"));
    QCOMPARE(form->size(), QSize(500, open ? 400 : 308));
    QCOMPARE(form->rect().contains(frame), open);               // the whole frame, bottom edge included
    QCOMPARE(Control(*form, "fraOptions")->geometry(), frame);  // nothing else moves
    QCOMPARE(Control(*form, "cmdGo")->geometry(), sortButton);
  }
}

void FrmMainBehaviourTest::ctrlAloneWithASelectsTheWholeList_data() {
  QTest::addColumn<QString>("box");
  QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
  QTest::addColumn<bool>("selectsAll");
  const auto ctrl = Qt::KeyboardModifiers(Qt::ControlModifier);
  QTest::newRow("txtListIn ctrl") << "txtListIn" << ctrl << true;
  QTest::newRow("txtListIn ctrl+shift") << "txtListIn" << (ctrl | Qt::ShiftModifier) << false;
  QTest::newRow("txtListIn ctrl+alt") << "txtListIn" << (ctrl | Qt::AltModifier) << false;
  QTest::newRow("txtListOut ctrl") << "txtListOut" << ctrl << true;
  QTest::newRow("txtListOut ctrl+shift") << "txtListOut" << (ctrl | Qt::ShiftModifier) << false;
  QTest::newRow("txtListOut ctrl+alt") << "txtListOut" << (ctrl | Qt::AltModifier) << false;
}

void FrmMainBehaviourTest::ctrlAloneWithASelectsTheWholeList() {
  QFETCH(QString, box);
  QFETCH(Qt::KeyboardModifiers, modifiers);
  QFETCH(bool, selectsAll);
  const auto form = NewForm();
  form->show();
  QVERIFY(QTest::qWaitForWindowActive(form.get()));
  SetTextOf(Control(*form, "txtListIn"), "pear\nApple\nbanana");
  SetTextOf(Control(*form, "txtDelimiterIn"), "\n");
  SetTextOf(Control(*form, "txtDelimiterOut"), "\n");
  QTest::mouseClick(Control(*form, "cmdGo"), Qt::LeftButton);
  QWidget* target = Control(*form, box.toLatin1().constData());
  target->setFocus();
  SetCaret(target, 3);

  QTest::keyClick(target, Qt::Key_A, modifiers);
  const auto [start, length] = SelectionOf(target);
  if (selectsAll) {
    QCOMPARE(start, qsizetype(0));
    QCOMPARE(length, TextOf(target).size());
    QCOMPARE(length, qsizetype(17));
  } else {
    QCOMPARE(length, qsizetype(0));
  }
}

void FrmMainBehaviourTest::sortWritesTheSortedListIntoTheOutputBox_data() {
  QTest::addColumn<QString>("list");
  QTest::addColumn<QString>("separatorIn");
  QTest::addColumn<QString>("separatorOut");
  QTest::addColumn<QString>("sorted");
  QTest::newRow("comma list") << "pear, Apple, banana"
                              << ", "
                              << ", "
                              << "Apple, banana, pear";
  QTest::newRow("lines to commas") << "cherry\napple\nBanana"
                                   << "\n"
                                   << ", "
                                   << "apple, Banana, cherry";
  QTest::newRow("lines to lines, trailing break") << "b\na\n"
                                                  << "\n"
                                                  << "\n"
                                                  << "\na\nb";
}

void FrmMainBehaviourTest::sortWritesTheSortedListIntoTheOutputBox() {
  QFETCH(QString, list);
  QFETCH(QString, separatorIn);
  QFETCH(QString, separatorOut);
  QFETCH(QString, sorted);
  const auto form = NewForm();
  SetTextOf(Control(*form, "txtListIn"), list);
  SetTextOf(Control(*form, "txtDelimiterIn"), separatorIn);
  SetTextOf(Control(*form, "txtDelimiterOut"), separatorOut);
  QTest::mouseClick(Control(*form, "cmdGo"), Qt::LeftButton);
  QCOMPARE(TextOf(Control(*form, "txtListOut")), sorted);
  QVERIFY(shown_.empty());
}

void FrmMainBehaviourTest::refusedSortShowsTheWarningAndChangesNoBox() {
  const auto form = NewForm();
  QWidget* listIn = Control(*form, "txtListIn");
  QWidget* listOut = Control(*form, "txtListOut");
  SetTextOf(listIn, "b, a");
  QTest::mouseClick(Control(*form, "cmdGo"), Qt::LeftButton);
  QCOMPARE(TextOf(listOut), QString("a, b"));

  SetTextOf(listIn, "b,a");
  QTest::mouseClick(Control(*form, "cmdGo"), Qt::LeftButton);
  QCOMPARE(shown_.size(), std::size_t(1));
  QVERIFY(shown_[0].Prompt ==
          u"You must have a list with at least two items, seperated by the chosen seperator.");
  QCOMPARE(shown_[0].Style, 48);
  QVERIFY(shown_[0].Title == u"Ordwell");
  QCOMPARE(TextOf(listIn), QString("b,a"));
  QCOMPARE(TextOf(listOut), QString("a, b"));
  QCOMPARE(TextOf(Control(*form, "txtDelimiterIn")), QString(", "));
  QCOMPARE(TextOf(Control(*form, "txtDelimiterOut")), QString(", "));

  SetTextOf(listIn, QString());
  QTest::mouseClick(Control(*form, "cmdGo"), Qt::LeftButton);
  QCOMPARE(shown_.size(), std::size_t(2));
  QCOMPARE(TextOf(listOut), QString("a, b"));
}

void FrmMainBehaviourTest::aboutShowsTheSameTenLinesOnEveryClick() {
  const auto form = NewForm();
  QTest::mouseClick(Control(*form, "cmdAbout"), Qt::LeftButton);
  QTest::mouseClick(Control(*form, "cmdAbout"), Qt::LeftButton);
  const std::u16string expected =
      u"Quorvane Ordwell\r\n"
      u"Version 1.0 Beta (Build 11)\r\n"
      u"http://www.quorvane.example/\r\n"
      u"\r\n"
      u"Ordwell takes a list of items and sorts them alphabetically.\r\n"
      u"\r\n"
      u"Usage:\r\n"
      u"1. Enter (type or paste) your list of items under 'Input List'.\r\n"
      u"2. Click the 'Sort' button.\r\n"
      u"3. Your items are sorted and displayed under 'Output List'. All done!";
  QCOMPARE(shown_.size(), std::size_t(2));
  for (const MsgBoxRecord& record : shown_) {
    QVERIFY(record.Prompt == expected);
    QCOMPARE(record.Style, 64);
    QVERIFY(record.Title == u"About");
  }
  QCOMPARE(form->height(), 308);
  QCOMPARE(Control<QPushButton>(*form, "cmdOptions")->text(), QString("Options >>"));
}

void FrmMainBehaviourTest::unloadRunsOnceWhateverEndsTheWindow() {
  const auto form = NewForm();
  form->show();
  QVERIFY(form->close());
  const QString prefs = QDir(appDir_->path()).filePath("Prefs.ini");
  QVERIFY(QFile::remove(prefs));
  form->UnloadOnce();  // what the end of the session calls
  QVERIFY(!QFile::exists(prefs));
}

void FrmMainBehaviourTest::separatorBoxesShowWhitespaceWithoutScrollBars() {
  const auto form = NewForm();
  for (const char* name : {"txtDelimiterIn", "txtDelimiterOut"}) {
    auto* box = Control<ordwell::ListTextBox>(*form, name);
    QVERIFY(box->isWhitespaceShown());
    QVERIFY(!box->isReadOnly());
    box->setPlainText(QString("x, ").repeated(200));
    QVERIFY(box->verticalScrollBar()->maximum() > 0);
    QVERIFY(!box->verticalScrollBar()->isVisibleTo(box));
    QCOMPARE(TextOf(box), QString("x, ").repeated(200));  // the marks are not part of the text
  }
  for (const char* name : {"txtListIn", "txtListOut"}) {
    QVERIFY(!Control<ordwell::ListTextBox>(*form, name)->isWhitespaceShown());
  }
}

void FrmMainBehaviourTest::windowShowsWithAMegabyteStoredSeparator() {
  // How long this takes is measured by frm_main_bench; here it only has to work.
  std::u16string separator;
  while (separator.size() < 1024 * 1024) separator += u"word, ";
  separator += u"\r\nend";
  const auto prefs = std::filesystem::path(appDir_->path().toStdU16String()) / u"Prefs.ini";
  QVERIFY(ordwell::modStandard::WriteIniValue(u"Prefs", u"DelimiterIn", separator, prefs));
  QVERIFY(ordwell::modStandard::WriteIniValue(u"Prefs", u"OptionsOpen", u"True", prefs));
  const auto form = NewForm();
  form->show();
  QVERIFY(QTest::qWaitForWindowExposed(form.get()));
  QVERIFY(!form->grab().isNull());
  QCOMPARE(TextOf(Control(*form, "txtDelimiterIn")), ordwell::services::FromCrLf(separator));
}

void FrmMainBehaviourTest::droppedFileThatIsNotTextShowsAWarning() {
  const auto form = NewForm();
  form->show();
  QVERIFY(QTest::qWaitForWindowExposed(form.get()));
  QFile file(QDir(appDir_->path()).filePath("photo.jpg"));
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF", 10));
  file.close();
  auto* box = Control<ordwell::ListTextBox>(*form, "txtListIn");
  SetTextOf(box, "kept");
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(file.fileName())});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box->viewport(), &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box->viewport(), &drop);
  QCOMPARE(shown_.size(), std::size_t(1));
  QCOMPARE(shown_[0].Style, 48);
  QVERIFY(shown_[0].Title == u"Ordwell");
  const QString prompt = QString::fromStdU16String(shown_[0].Prompt);
  QVERIFY2(prompt.contains("photo.jpg") && prompt.contains("UTF-8"), qPrintable(prompt));
  QCOMPARE(TextOf(box), QString("kept"));
}

QTEST_MAIN(FrmMainBehaviourTest)
#include "frm_main_behaviour_test.moc"
