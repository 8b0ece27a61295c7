#include "window/window_services.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QMessageBox>
#include <QObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTextCursor>
#include <QTextDocument>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <utility>

#include "ordwell_version.h"
#include "window/listbox/list_text_box.h"
#include "window/settings_location.h"

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>

#include "io/posix_file.h"
#endif

namespace ordwell::services {

namespace {

QString ToQString(std::u16string_view text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

std::u16string ToU16(QStringView text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                        static_cast<std::size_t>(text.size()));
}

// Calls a key-down handler for every key press that reaches the watched widget and lets the
// press go on to the widget.
class KeyDownFilter final : public QObject {
 public:
  KeyDownFilter(QObject* watched, TextBox::KeyDownHandler handler)
      : QObject(watched), handler_(std::move(handler)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(event);
      handler_(KeyCodeOf(key->key()), ShiftMaskOf(key->modifiers()));
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  TextBox::KeyDownHandler handler_;
};

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/ordwell/icon-32.png"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/ordwell/icon-16.png"), QSize(16, 16));
  return icon;
}

AppFacts AppFacts::FromApplication() {
  return WithPath(SettingsFolderFor(ExecutableFolder(), UserConfigFolder()));
}

AppFacts AppFacts::WithPath(std::filesystem::path path) {
  return AppFacts{std::u16string(kAppTitle), std::move(path),
                  static_cast<std::int16_t>(ordwell::version::kRevision)};
}

std::u16string ToCrLf(QStringView widgetText) {
  const auto breaks = static_cast<std::size_t>(widgetText.count(u'\n'));
  std::u16string out;
  out.reserve(static_cast<std::size_t>(widgetText.size()) + breaks);
  const char16_t* const begin = reinterpret_cast<const char16_t*>(widgetText.utf16());
  const char16_t* const end = begin + widgetText.size();
  for (const char16_t* run = begin; run != end;) {
    const char16_t* const lf = std::find(run, end, u'\n');
    out.append(run, lf);
    if (lf == end) break;
    out += u"\r\n";
    run = lf + 1;
  }
  return out;
}

QString FromCrLf(std::u16string_view text) {
  // Written in place: the result is never longer than the text.
  QString out(static_cast<qsizetype>(text.size()), Qt::Uninitialized);
  auto* const begin = reinterpret_cast<char16_t*>(out.data());
  char16_t* end = begin;
  const QStringView source(text.data(), static_cast<qsizetype>(text.size()));
  qsizetype run = 0;
  while (run < source.size()) {
    const qsizetype cr = source.indexOf(u'\r', run);
    const qsizetype stop = cr < 0 ? source.size() : cr;
    std::copy(text.data() + run, text.data() + stop, end);
    end += stop - run;
    if (cr < 0) break;
    *end++ = u'\n';
    run = cr + 1;
    if (run < source.size() && source[run] == u'\n') ++run;
  }
  out.truncate(end - begin);
  return out;
}

qsizetype CrLfOffsetOf(QStringView widgetText, qsizetype widgetPos) {
  const qsizetype pos = std::clamp<qsizetype>(widgetPos, 0, widgetText.size());
  return pos + widgetText.first(pos).count(u'\n');
}

qsizetype WidgetPosOf(QStringView widgetText, qsizetype crLfOffset, bool roundUp) {
  qsizetype pos = 0;    // widget position
  qsizetype units = 0;  // CR LF units before pos
  while (true) {
    const qsizetype lf = widgetText.indexOf(u'\n', pos);
    const qsizetype runEnd = lf < 0 ? widgetText.size() : lf;
    if (crLfOffset <= units + (runEnd - pos)) return pos + std::max<qsizetype>(0, crLfOffset - units);
    if (lf < 0) return widgetText.size();
    units += runEnd - pos;
    // crLfOffset lies past the run: either between the CR and the LF, or beyond the break.
    if (crLfOffset == units + 1) return roundUp ? lf + 1 : lf;
    units += 2;
    pos = lf + 1;
  }
}

std::int16_t KeyCodeOf(int qtKey) {
  if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
    return static_cast<std::int16_t>(qtKey);  // Qt uses the ASCII codes for these
  }
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
    return static_cast<std::int16_t>(112 + (qtKey - Qt::Key_F1));
  }
  switch (qtKey) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    default: return 0;
  }
}

std::int16_t ShiftMaskOf(Qt::KeyboardModifiers modifiers) {
  std::int16_t mask = 0;
  if (modifiers.testFlag(Qt::ShiftModifier)) mask |= 1;
  if (modifiers.testFlag(Qt::ControlModifier)) mask |= 2;
  if (modifiers.testFlag(Qt::AltModifier)) mask |= 4;
  return mask;
}

// What TextBox needs from a text widget, in Qt '\n' units.
class TextBox::Adapter {
 public:
  virtual ~Adapter() = default;
  virtual QString Text() const = 0;
  virtual void SetText(const QString& text) = 0;
  virtual void Select(qsizetype anchor, qsizetype caret) = 0;
  virtual qsizetype SelectionStart() const = 0;
  virtual qsizetype SelectionLength() const = 0;
  virtual void SelectAll() = 0;
  virtual QWidget* widget() const = 0;
};

namespace {

class PlainTextEditAdapter final : public TextBox::Adapter {
 public:
  explicit PlainTextEditAdapter(QPlainTextEdit* edit) : edit_(edit) {}

  // The raw text keeps no-break spaces (toPlainText would turn them into spaces); block and line
  // separators are the box's line breaks.
  QString Text() const override {
    QString text = edit_->document()->toRawText();
    for (QChar& c : text) {
      if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) c = u'\n';
    }
    return text;
  }
  void SetText(const QString& text) override { edit_->setPlainText(text); }
  void Select(qsizetype anchor, qsizetype caret) override {
    QTextCursor cursor(edit_->document());
    cursor.setPosition(static_cast<int>(anchor));
    cursor.setPosition(static_cast<int>(caret), QTextCursor::KeepAnchor);
    edit_->setTextCursor(cursor);
  }
  qsizetype SelectionStart() const override { return edit_->textCursor().selectionStart(); }
  qsizetype SelectionLength() const override {
    const QTextCursor cursor = edit_->textCursor();
    return cursor.selectionEnd() - cursor.selectionStart();
  }
  void SelectAll() override { edit_->selectAll(); }
  QWidget* widget() const override { return edit_; }

 private:
  QPlainTextEdit* edit_;
};

class ListTextBoxAdapter final : public TextBox::Adapter {
 public:
  explicit ListTextBoxAdapter(ListTextBox* box) : box_(box) {}

  QString Text() const override { return box_->toPlainText(); }
  void SetText(const QString& text) override { box_->setPlainText(text); }
  void Select(qsizetype anchor, qsizetype caret) override { box_->setSelection(anchor, caret - anchor); }
  qsizetype SelectionStart() const override { return box_->selectionStart(); }
  qsizetype SelectionLength() const override { return box_->selectionLength(); }
  void SelectAll() override { box_->selectAll(); }
  QWidget* widget() const override { return box_; }

 private:
  ListTextBox* box_;
};

}  // namespace

TextBox::TextBox(QPlainTextEdit* widget) : adapter_(std::make_unique<PlainTextEditAdapter>(widget)) {}
TextBox::TextBox(ListTextBox* widget, const MessageBoxes& boxes)
    : adapter_(std::make_unique<ListTextBoxAdapter>(widget)) {
  // Connected once per box, however often it is wrapped, so a refusal shows one message.
  static constexpr const char* kShowsDropMessages = "ordwellShowsDropMessages";
  if (widget->property(kShowsDropMessages).toBool()) return;
  widget->setProperty(kShowsDropMessages, true);
  QObject::connect(widget, &ListTextBox::dropRefused, widget, [widget, boxes](const QString& message) {
    boxes.MsgBox(widget->window(), ToU16(message), vbExclamation);
  });
}
TextBox::~TextBox() = default;
TextBox::TextBox(TextBox&&) noexcept = default;
TextBox& TextBox::operator=(TextBox&&) noexcept = default;

std::u16string TextBox::Text() const { return ToCrLf(adapter_->Text()); }

void TextBox::SetText(std::u16string_view text) { adapter_->SetText(FromCrLf(text)); }

QString TextBox::WidgetText() const { return adapter_->Text(); }

void TextBox::SetWidgetText(const QString& text) { adapter_->SetText(text); }

qsizetype TextBox::SelStart() const { return CrLfOffsetOf(adapter_->Text(), adapter_->SelectionStart()); }

void TextBox::SetSelStart(qsizetype start) {
  const qsizetype pos = start <= 0 ? 0 : WidgetPosOf(adapter_->Text(), start, false);
  adapter_->Select(pos, pos);
}

qsizetype TextBox::SelLength() const {
  const QString text = adapter_->Text();
  const qsizetype start = adapter_->SelectionStart();
  return CrLfOffsetOf(text, start + adapter_->SelectionLength()) - CrLfOffsetOf(text, start);
}

void TextBox::SetSelLength(qsizetype length) {
  const QString text = adapter_->Text();
  const qsizetype start = adapter_->SelectionStart();
  const qsizetype end = WidgetPosOf(text, CrLfOffsetOf(text, start) + std::max<qsizetype>(0, length), true);
  adapter_->Select(start, end);
}

void TextBox::SelectAll() { adapter_->SelectAll(); }

void TextBox::OnKeyDown(KeyDownHandler handler) {
  QWidget* const target = adapter_->widget();
  target->installEventFilter(new KeyDownFilter(target, std::move(handler)));
}

QWidget* TextBox::widget() const { return adapter_->widget(); }

namespace {

// A button caption is shown literally: '&' is doubled so Qt reads no access key from it.
QString LiteralCaption(std::u16string_view caption) {
  return ToQString(caption).replace(u'&', QStringLiteral("&&"));
}

std::u16string ShownCaption(const QString& caption) {
  return ToU16(QString(caption).replace(QStringLiteral("&&"), QStringLiteral("&")));
}

}  // namespace

CommandButton::CommandButton(QPushButton* widget) : widget_(widget) {}

std::u16string CommandButton::Caption() const { return ShownCaption(widget_->text()); }

void CommandButton::SetCaption(std::u16string_view caption) { widget_->setText(LiteralCaption(caption)); }

void CommandButton::OnClick(std::function<void()> handler) {
  QObject::connect(widget_, &QPushButton::clicked, widget_, [h = std::move(handler)] { h(); });
}

FormWindow::FormWindow(QWidget* widget) : widget_(widget) {}

void FormWindow::SetCaption(std::u16string_view caption) { widget_->setWindowTitle(ToQString(caption)); }

void FormWindow::SetClientSize(int widthTwips, int heightTwips) {
  widget_->setFixedSize(TwipsToPixels(widthTwips), TwipsToPixels(heightTwips));
  // A fixed size cannot be maximised, so the title bar offers only minimise and close; the
  // custom hint replaces the platform's default buttons with exactly these.
  const Qt::WindowFlags fixedSizeFlags =
      (widget_->windowFlags() & ~Qt::WindowMaximizeButtonHint & ~Qt::WindowFullscreenButtonHint) |
      Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
      Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
  if (widget_->windowFlags() != fixedSizeFlags) {
    const bool shown = widget_->isVisible();
    widget_->setWindowFlags(fixedSizeFlags);  // hides a shown window: show it again
    if (shown) widget_->show();
  }
}

void FormWindow::SetClientHeight(int heightTwips) { widget_->setFixedHeight(TwipsToPixels(heightTwips)); }

void MessageBoxes::MsgBox(QWidget* owner, std::u16string_view Prompt, int Style,
                          std::optional<std::u16string_view> Title) const {
  MsgBoxRecord record{std::u16string(Prompt), Style, std::u16string(Title.value_or(kAppTitle))};
  if (hook_) {
    hook_(record);
    return;
  }
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  if (Style == vbInformation) icon = QMessageBox::Information;
  if (Style == vbExclamation) icon = QMessageBox::Warning;
  QMessageBox box(icon, ToQString(record.Title), FromCrLf(record.Prompt), QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

namespace {

#ifdef Q_OS_UNIX
// Turns SIGTERM, SIGINT and SIGHUP into an orderly close of every window, so the form unloads and
// saves its settings as it does when the user closes it. The signals' previous handlers come
// back when it ends.
class TerminationSignals final : public QObject {
 public:
  TerminationSignals() {
    int fds[2] = {-1, -1};
    // Non-blocking, so a burst of signals can never block the handler on a full socket.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) return;
    readEnd_ = io::UniqueFd(fds[0]);
    writeEnd_ = io::UniqueFd(fds[1]);
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
      char bytes[16];
      while (io::ReadSome(readEnd_.get(), bytes, sizeof bytes) > 0) {
      }
      QApplication::closeAllWindows();
      QCoreApplication::quit();
    });
    writeFd_.store(writeEnd_.get());
    struct sigaction action {};
    action.sa_handler = &TerminationSignals::OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
      installed_[i] = ::sigaction(kSignals[i], &action, &previous_[i]) == 0;
    }
  }

  ~TerminationSignals() override {
    // The previous handlers first, so no signal is sent into a closed socket.
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
      if (installed_[i]) ::sigaction(kSignals[i], &previous_[i], nullptr);
    }
    writeFd_.store(-1);
  }

  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

 private:
  static void OnSignal(int) {
    const int savedErrno = errno;  // the interrupted code may be about to read errno
    const int fd = writeFd_.load();
    if (fd >= 0) {
      const char byte = 1;
      [[maybe_unused]] const auto sent = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
  }

  static constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};
  // What the handler writes to: a signal handler has no object, and a lock-free atomic is safe
  // to read in one.
  static inline std::atomic<int> writeFd_{-1};
  static_assert(std::atomic<int>::is_always_lock_free);

  io::UniqueFd readEnd_;
  io::UniqueFd writeEnd_;
  // Declared after the sockets, so it stops watching before they close.
  std::unique_ptr<QSocketNotifier> notifier_;
  std::array<struct sigaction, kSignals.size()> previous_{};
  std::array<bool, kSignals.size()> installed_{};
};
#endif

}  // namespace

int RunProcess(int& argc, char** argv, const FormFactory& createMainForm) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(ToQString(kAppTitle));
  QApplication::setApplicationVersion(QString::fromLatin1(ordwell::version::kVersionString));
  QApplication::setWindowIcon(AppIcon());
#ifdef Q_OS_UNIX
  const TerminationSignals signalsClose;
#endif
  const std::unique_ptr<QWidget> form = createMainForm();
  form->setWindowIcon(AppIcon());
  form->show();
  return QApplication::exec();
}

}  // namespace ordwell::services
