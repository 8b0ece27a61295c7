#include "window/frm_main.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QShortcut>
#include <QStringList>

#include <array>
#include <exception>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "ordwell_version.h"
#include "prefs/mod_standard.h"
#include "sorting/sort_list.h"
#include "window/box_sort.h"
#include "window/input_blocker.h"
#include "window/listbox/list_text_box.h"
#include "window/listbox/wait_cursor.h"
#include "window/settings_location.h"

namespace ordwell {

namespace {

using services::TwipsToPixels;

// Left, top, width and height in twips, relative to the control's container.
struct Place {
  int Left;
  int Top;
  int Width;
  int Height;
};

// The window's geometry, in tab-index order. Containers: the client area, except picOptions (in
// fraOptions) and the separator controls (in picOptions).
namespace layout {
inline constexpr int kClientWidth = 7500;
inline constexpr int kClientHeightClosed = 4620;
inline constexpr int kClientHeightOpen = 6000;

inline constexpr Place lblCaption2{150, 150, 690, 195};
inline constexpr Place lblCaption3{3810, 150, 810, 195};
inline constexpr Place txtListIn{150, 420, 3555, 3570};
inline constexpr Place txtListOut{3810, 420, 3555, 3570};
inline constexpr Place cmdOptions{150, 4140, 1365, 345};
inline constexpr Place cmdAbout{5565, 4140, 345, 345};
inline constexpr Place cmdGo{6000, 4140, 1365, 345};
inline constexpr Place fraOptions{150, 4665, 7215, 1170};
inline constexpr Place picOptions{30, 210, 7140, 915};
inline constexpr Place lblCaption0{150, 60, 750, 390};
inline constexpr Place txtDelimiterIn{960, 60, 1170, 690};
inline constexpr Place lblCaption1{2355, 60, 750, 390};
inline constexpr Place txtDelimiterOut{3165, 60, 1170, 690};
}  // namespace layout

// The layout's text line is 13 pixels high: an 11-pixel font.
constexpr int kFontPixelSize = 11;

constexpr std::u16string_view kVersionText = version::kDisplayVersion;
constexpr std::u16string_view kOptionsClosed = u"Options >>";
constexpr std::u16string_view kOptionsOpen = u"Options <<";
constexpr std::u16string_view kWebAddress = u"http://www.quorvane.example/";
constexpr std::u16string_view kCrLf = u"\r\n";
constexpr std::u16string_view kTooManyItems = u"This list has too many items to sort. Nothing was changed.";
constexpr std::u16string_view kOutOfMemory =
    u"There is not enough memory to sort this list. Nothing was changed.";

// A list this long (in UTF-16 units) is sorted off the window's thread, so the window keeps
// answering; a shorter one sorts in less time than a thread takes to start and report back.
constexpr qsizetype kBackgroundSortUnits = qsizetype{1} << 16;

constexpr std::int16_t kKeyA = 65;
constexpr std::int16_t kCtrlMask = 2;

QRect ToPixels(const Place& place) {
  return QRect(TwipsToPixels(place.Left), TwipsToPixels(place.Top), TwipsToPixels(place.Width),
               TwipsToPixels(place.Height));
}

QString Literal(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* NewLabel(QWidget* container, int index, std::u16string_view caption, const Place& place, bool wraps) {
  auto* label = new QLabel(container);
  label->setObjectName(QStringLiteral("lblCaption"));
  label->setProperty("index", index);
  label->setTextFormat(Qt::PlainText);  // no markup, and with no buddy '&' is shown as it is
  label->setText(Literal(caption));
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(wraps);
  label->setGeometry(ToPixels(place));
  return label;
}

// The separator boxes: small, so without scroll bars, and showing spaces, tabs and line breaks
// as faint marks so that the separator set can be read. The same box as the lists, so a long
// separator lays out only the rows in view.
ListTextBox* NewSeparatorBox(QWidget* container, const char* name, const Place& place) {
  auto* box = new ListTextBox(container);
  box->setObjectName(QLatin1String(name));
  box->setGeometry(ToPixels(place));
  box->setScrollBarShown(false);
  box->setWhitespaceShown(true);
  return box;
}

// The list boxes hold whole lists: a box that lays out only the rows in view (always wrapping,
// Tab moving the focus) keeps a million lines responsive where QPlainTextEdit takes seconds.
ListTextBox* NewListBox(QWidget* container, const char* name, const Place& place, bool readOnly) {
  auto* box = new ListTextBox(container);
  box->setObjectName(QLatin1String(name));
  box->setGeometry(ToPixels(place));
  box->setReadOnly(readOnly);
  return box;
}

QPushButton* NewButton(QWidget* container, const char* name, const Place& place) {
  auto* button = new QPushButton(container);
  button->setObjectName(QLatin1String(name));
  button->setGeometry(ToPixels(place));
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

// Whether a label's caption fits its box in the font: every word on one line, all lines inside.
bool CaptionFits(const QLabel& label, const QFont& font) {
  const QFontMetrics metrics(font);
  const QRect box = label.contentsRect();
  const QString text = label.text();
  if (!label.wordWrap())
    return metrics.horizontalAdvance(text) <= box.width() && metrics.height() <= box.height();
  for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
    if (metrics.horizontalAdvance(word) > box.width()) return false;
  }
  return metrics.boundingRect(box, Qt::TextWordWrap, text).height() <= box.height();
}

// The labels' boxes are sized for a narrow 8-point face; the platform font may be wider, so the
// labels take the largest size, up to the window's, at which every caption fits its box.
void FitLabelFont(const std::array<QLabel*, 4>& labels, const QFont& windowFont) {
  QFont font = windowFont;
  for (int size = kFontPixelSize; size > 6; --size) {
    font.setPixelSize(size);
    bool fits = true;
    for (const QLabel* label : labels) fits = fits && CaptionFits(*label, font);
    if (fits) break;
  }
  for (QLabel* label : labels) label->setFont(font);
}

// The window as assistive technology sees it: busy while a sort runs.
class FormAccessible final : public QAccessibleWidget {
 public:
  explicit FormAccessible(FrmMain* form) : QAccessibleWidget(form, QAccessible::Window) {}

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.busy = static_cast<const FrmMain*>(object())->IsSorting();
    return state;
  }
};

// Assistive technology announces the window as a window with its title, not as a nameless pane
// (the role a plain top-level QWidget gets), and the borderless panel inside the options frame as
// a mere container, not as a second window (the role a QFrame gets).
QAccessibleInterface* WindowAccessible(const QString& className, QObject* object) {
  if (className == QLatin1String(FrmMain::staticMetaObject.className())) {
    return new FormAccessible(static_cast<FrmMain*>(object));
  }
  if (className == QLatin1String("QFrame") && object->objectName() == QLatin1String("picOptions")) {
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Client);
  }
  return nullptr;
}

}  // namespace

// What a sort gave: the sorted text in the boxes' form, nothing for a refusal, or the exception
// the sort threw, carried over to the window's thread.
struct FrmMain::SortOutcome {
  std::optional<QString> sorted;
  std::exception_ptr failure;

  static SortOutcome Of(const QString& list, const QString& separatorIn,
                        const QString& separatorOut) noexcept {
    try {
      return {SortBoxText(list, separatorIn, separatorOut), nullptr};
    } catch (...) {
      return {std::nullopt, std::current_exception()};
    }
  }
};

// Carries a sort's outcome from its thread to the window's.
struct FrmMain::SortDone final : public QEvent {
  static inline const auto kType = static_cast<QEvent::Type>(QEvent::registerEventType());

  SortDone() : QEvent(kType) {}

  SortOutcome outcome;
};

// The window held while a sort runs: the wait cursor, and no input.
class FrmMain::SortHold {
 public:
  explicit SortHold(const QWidget* window) : blocker_(window) {}

 private:
  listbox::WaitCursor wait_;
  InputBlocker blocker_;
};

// The controls as the handlers see them, plus the few widgets no handler touches.
struct FrmMain::Controls {
  std::array<QLabel*, 4> lblCaption;
  services::TextBox txtListIn;
  services::TextBox txtListOut;
  services::CommandButton cmdOptions;
  services::CommandButton cmdAbout;
  services::CommandButton cmdGo;
  QGroupBox* fraOptions;
  QFrame* picOptions;
  services::TextBox txtDelimiterIn;
  services::TextBox txtDelimiterOut;
};

FrmMain::FrmMain(services::AppFacts app, services::MessageBoxes boxes, QWidget* parent)
    : QWidget(parent), app_(std::move(app)), boxes_(std::move(boxes)), form_(this) {
  // Before anything can ask for the window's accessible interface, which Qt then keeps.
  QAccessible::installFactory(&WindowAccessible);
  Form_Initialize();
  CreateControls();
  ConnectHandlers();
  SetUpAccessibility();
  AddSortShortcuts();
  Form_Load();
  // A session that ends without closing the window still saves the settings, once.
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &FrmMain::UnloadOnce);
}

void FrmMain::CreateControls() {
  setWindowIcon(services::AppIcon());
  QFont windowFont = font();
  windowFont.setPixelSize(kFontPixelSize);
  setFont(windowFont);
  form_.SetClientSize(layout::kClientWidth, layout::kClientHeightClosed);

  // Created in tab-index order, which is also Qt's focus chain.
  QLabel* const lbl2 = NewLabel(this, 2, u"Input List:", layout::lblCaption2, false);
  QLabel* const lbl3 = NewLabel(this, 3, u"Output List:", layout::lblCaption3, false);
  ListTextBox* const listIn = NewListBox(this, "txtListIn", layout::txtListIn, false);
  ListTextBox* const listOut = NewListBox(this, "txtListOut", layout::txtListOut, true);
  QPushButton* const options = NewButton(this, "cmdOptions", layout::cmdOptions);
  QPushButton* const about = NewButton(this, "cmdAbout", layout::cmdAbout);
  QPushButton* const go = NewButton(this, "cmdGo", layout::cmdGo);

  auto* const frame = new QGroupBox(this);
  frame->setObjectName(QStringLiteral("fraOptions"));
  frame->setTitle(QStringLiteral("Options"));
  frame->setGeometry(ToPixels(layout::fraOptions));
  auto* const panel = new QFrame(frame);
  panel->setObjectName(QStringLiteral("picOptions"));
  panel->setFrameShape(QFrame::NoFrame);
  panel->setGeometry(ToPixels(layout::picOptions));

  QLabel* const lbl0 = NewLabel(panel, 0, u"Input Seperator:", layout::lblCaption0, true);
  ListTextBox* const delimIn = NewSeparatorBox(panel, "txtDelimiterIn", layout::txtDelimiterIn);
  QLabel* const lbl1 = NewLabel(panel, 1, u"Output Seperator:", layout::lblCaption1, true);
  ListTextBox* const delimOut = NewSeparatorBox(panel, "txtDelimiterOut", layout::txtDelimiterOut);

  for (auto [from, to] : {std::pair<QWidget*, QWidget*>{listIn, listOut},
                          {listOut, options},
                          {options, about},
                          {about, go},
                          {go, delimIn},
                          {delimIn, delimOut}}) {
    setTabOrder(from, to);
  }

  c_ = std::make_unique<Controls>(Controls{
      {lbl0, lbl1, lbl2, lbl3},
      services::TextBox(listIn, boxes_),
      services::TextBox(listOut, boxes_),
      services::CommandButton(options),
      services::CommandButton(about),
      services::CommandButton(go),
      frame,
      panel,
      services::TextBox(delimIn, boxes_),
      services::TextBox(delimOut, boxes_),
  });
  FitLabelFont(c_->lblCaption, windowFont);

  c_->cmdOptions.SetCaption(kOptionsClosed);
  c_->cmdAbout.SetCaption(u"?");
  c_->cmdGo.SetCaption(u"Sort");
  c_->txtDelimiterIn.SetText(u", ");
  c_->txtDelimiterOut.SetText(u", ");
  listIn->setFocus();
}

void FrmMain::ConnectHandlers() {
  // While a sort runs, a click that does not come from the held input (an accessibility action)
  // is ignored too.
  c_->cmdGo.OnClick([this] { cmdGo_Click(); });
  c_->cmdOptions.OnClick([this] {
    if (!IsSorting()) cmdOptions_Click();
  });
  c_->cmdAbout.OnClick([this] {
    if (!IsSorting()) cmdAbout_Click();
  });
  c_->txtListIn.OnKeyDown(
      [this](std::int16_t KeyCode, std::int16_t Shift) { txtListIn_KeyDown(KeyCode, Shift); });
  c_->txtListOut.OnKeyDown(
      [this](std::int16_t KeyCode, std::int16_t Shift) { txtListOut_KeyDown(KeyCode, Shift); });
}

void FrmMain::SetUpAccessibility() {
  // A label's buddy takes the label's text as its accessible name; the captions hold no '&', so
  // the buddies add no access key and nothing shown changes.
  c_->lblCaption[0]->setBuddy(c_->txtDelimiterIn.widget());
  c_->lblCaption[1]->setBuddy(c_->txtDelimiterOut.widget());
  c_->lblCaption[2]->setBuddy(c_->txtListIn.widget());
  c_->lblCaption[3]->setBuddy(c_->txtListOut.widget());
  QPushButton* const about = c_->cmdAbout.widget();
  about->setAccessibleName(QStringLiteral("About"));
  about->setToolTip(QStringLiteral("About ") + Literal(app_.Title));
  c_->cmdGo.widget()->setToolTip(QStringLiteral("Sort the input list into the output list (Ctrl+Return)"));
  c_->cmdOptions.widget()->setToolTip(QStringLiteral("Show or hide the separator options"));
}

void FrmMain::AddSortShortcuts() {
  // The boxes leave Return with Ctrl to the window, so a plain Return still breaks the line.
  for (const QKeyCombination keys : {Qt::CTRL | Qt::Key_Return, Qt::CTRL | Qt::Key_Enter}) {
    auto* const shortcut = new QShortcut(QKeySequence(keys), this);
    shortcut->setAutoRepeat(false);
    connect(shortcut, &QShortcut::activated, this, &FrmMain::cmdGo_Click);
  }
}

FrmMain::~FrmMain() = default;

std::filesystem::path FrmMain::PrefsPath() const {
  // No folder means no home folder to keep the settings in: nothing is read, and the save says so.
  return app_.Path.empty() ? std::filesystem::path() : app_.Path / services::kSettingsFileName;
}

void FrmMain::Form_Initialize() { services::InitCommonControls(); }

void FrmMain::Form_Load() {
  form_.SetCaption(app_.Title + u" " + std::u16string(kVersionText));
  c_->txtDelimiterIn.SetText(modStandard::ReadIniValue(u"Prefs", u"DelimiterIn", u", ", PrefsPath()));
  c_->txtDelimiterOut.SetText(modStandard::ReadIniValue(u"Prefs", u"DelimiterOut", u", ", PrefsPath()));
  const QString optionsOpen =
      Literal(modStandard::ReadIniValue(u"Prefs", u"OptionsOpen", u"False", PrefsPath()));
  if (optionsOpen.compare(u"True", Qt::CaseInsensitive) == 0) cmdOptions_Click();
}

void FrmMain::cmdGo_Click() {
  // A sort is running: the click (from a shortcut or an accessibility action, which the held
  // window does not stop) is ignored, not queued.
  if (IsSorting()) return;
  // The boxes' own texts, shared rather than copied and without the CR LF round trip.
  const QString list = c_->txtListIn.WidgetText();
  const QString separatorIn = c_->txtDelimiterIn.WidgetText();
  const QString separatorOut = c_->txtDelimiterOut.WidgetText();
  HoldForSort(true);
  if (list.size() < kBackgroundSortUnits) {
    FinishSort(SortOutcome::Of(list, separatorIn, separatorOut));
    return;
  }
  try {
    // The report is made before the sort starts, so sending it back needs no memory the sort may
    // have used up.
    auto done = std::make_unique<SortDone>();
    sortThread_ = std::jthread([this, list, separatorIn, separatorOut, done = std::move(done)]() mutable {
      done->outcome = SortOutcome::Of(list, separatorIn, separatorOut);
      QCoreApplication::postEvent(this, done.release());
    });
  } catch (const std::exception&) {
    // No thread to be had: sort here, as a short list does.
    FinishSort(SortOutcome::Of(list, separatorIn, separatorOut));
  }
}

bool FrmMain::event(QEvent* event) {
  if (event->type() == SortDone::kType) {
    FinishSort(static_cast<const SortDone*>(event)->outcome);
    return true;
  }
  return QWidget::event(event);
}

void FrmMain::HoldForSort(bool hold) {
  if (hold) {
    hold_ = std::make_unique<SortHold>(this);
  } else {
    hold_.reset();
  }
  QAccessible::State busy;
  busy.busy = true;
  QAccessibleStateChangeEvent event(this, busy);
  QAccessible::updateAccessibility(&event);
}

void FrmMain::FinishSort(const SortOutcome& outcome) {
  std::u16string_view failure;
  try {
    if (outcome.failure) std::rethrow_exception(outcome.failure);
    if (!outcome.sorted) {
      failure = kRefusalMessage;
    } else {
      // Shown under the wait cursor, which is gone again before any message appears. Memory may
      // also run out while the result is laid out; the output box then keeps what it showed.
      c_->txtListOut.SetWidgetText(*outcome.sorted);
    }
  } catch (const std::length_error&) {
    failure = kTooManyItems;
  } catch (const std::bad_alloc&) {
    failure = kOutOfMemory;
  }
  HoldForSort(false);
  if (!failure.empty()) boxes_.MsgBox(this, failure, services::vbExclamation);
  emit sortFinished();
}

void FrmMain::cmdOptions_Click() {
  if (c_->cmdOptions.Caption() == kOptionsClosed) {
    form_.SetClientHeight(layout::kClientHeightOpen);
    c_->cmdOptions.SetCaption(kOptionsOpen);
  } else {
    form_.SetClientHeight(layout::kClientHeightClosed);
    c_->cmdOptions.SetCaption(kOptionsClosed);
  }
}

void FrmMain::cmdAbout_Click() {
  std::u16string revision;
  for (const char digit : std::to_string(app_.Revision)) revision += static_cast<char16_t>(digit);
  const std::array<std::u16string, 10> lines = {
      u"Quorvane " + app_.Title,
      u"Version " + std::u16string(kVersionText) + u" (Build " + revision + u")",
      std::u16string(kWebAddress),
      u"",
      app_.Title + u" takes a list of items and sorts them alphabetically.",
      u"",
      u"Usage:",
      u"1. Enter (type or paste) your list of items under 'Input List'.",
      u"2. Click the 'Sort' button.",
      u"3. Your items are sorted and displayed under 'Output List'. All done!",
  };
  std::u16string text = lines.front();
  for (std::size_t i = 1; i < lines.size(); ++i) text += std::u16string(kCrLf) + lines[i];
  boxes_.MsgBox(this, text, services::vbInformation, u"About");
}

void FrmMain::txtListIn_KeyDown(std::int16_t KeyCode, std::int16_t Shift) {
  if (Shift == kCtrlMask && KeyCode == kKeyA) c_->txtListIn.SelectAll();
}

void FrmMain::txtListOut_KeyDown(std::int16_t KeyCode, std::int16_t Shift) {
  if (Shift == kCtrlMask && KeyCode == kKeyA) c_->txtListOut.SelectAll();
}

void FrmMain::Form_Unload(std::int16_t& /*Cancel*/) {
  // The three settings go in one write, so that another instance closing at the same moment
  // cannot mix its settings with these; failures are reported on standard error.
  const std::u16string delimiterIn = c_->txtDelimiterIn.Text();
  const std::u16string delimiterOut = c_->txtDelimiterOut.Text();
  const bool closed = c_->cmdOptions.Caption() == kOptionsClosed;
  const std::array<modStandard::IniValue, 3> values = {
      modStandard::IniValue{u"DelimiterIn", delimiterIn},
      modStandard::IniValue{u"DelimiterOut", delimiterOut},
      modStandard::IniValue{u"OptionsOpen", closed ? u"False" : u"True"}};
  services::SaveSettings(u"Prefs", values, PrefsPath());
}

void FrmMain::UnloadOnce() {
  if (unloaded_) return;
  std::int16_t Cancel = 0;
  Form_Unload(Cancel);
  unloaded_ = Cancel == 0;
}

void FrmMain::closeEvent(QCloseEvent* event) {
  UnloadOnce();
  if (unloaded_) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace ordwell
