#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

class QIcon;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace ordwell {
class ListTextBox;
}

// The thin layer between the window's handlers and Qt: application facts, text boxes that speak
// CR LF, push buttons, the form's title and height, message boxes and the process entry. Every
// text that crosses this layer is UTF-16 with CR LF line breaks.
namespace ordwell::services {

// The application title; also the caption of a message box that names none.
inline constexpr std::u16string_view kAppTitle = u"Ordwell";

// Window geometry is kept in twips (1/1440 inch); at 96 dpi fifteen of them make one pixel.
inline constexpr int kTwipsPerPixel = 15;

// Converts twips to Qt device-independent pixels; the one place the layout changes units.
constexpr int TwipsToPixels(int twips) { return twips / kTwipsPerPixel; }

// What the program knows about itself.
struct AppFacts {
  std::u16string Title;
  // The folder that holds Prefs.ini: the executable's own folder for a portable copy, the user's
  // configuration folder for an installed one; kept as the file system's bytes.
  std::filesystem::path Path;
  std::int16_t Revision = 0;

  // Returns the facts of the running program; needs a QCoreApplication.
  static AppFacts FromApplication();
  // Returns the facts of the running program with another settings folder.
  static AppFacts WithPath(std::filesystem::path path);
};

// Returns the widget text (Qt '\n' line breaks) with every line break as a CR LF pair.
std::u16string ToCrLf(QStringView widgetText);
// Returns the text with every CR LF pair, lone CR and lone LF turned into one Qt '\n'.
QString FromCrLf(std::u16string_view text);
// Returns the CR LF offset of a widget position; a line break counts two in CR LF units.
qsizetype CrLfOffsetOf(QStringView widgetText, qsizetype widgetPos);
// Returns the widget position of a CR LF offset, clamped to the text; an offset between the CR and
// the LF of a pair lands before the break, or after it when roundUp is set.
qsizetype WidgetPosOf(QStringView widgetText, qsizetype crLfOffset, bool roundUp);

// Maps a Qt key to its key code (letters and digits are their upper-case ASCII codes, A = 65);
// 0 for keys without one.
std::int16_t KeyCodeOf(int qtKey);
// Maps Qt keyboard modifiers to the shift mask (Shift 1, Ctrl 2, Alt 4).
std::int16_t ShiftMaskOf(Qt::KeyboardModifiers modifiers);

// Message box styles (the icon shown); the box always has one OK button.
inline constexpr int vbOKOnly = 0;
inline constexpr int vbExclamation = 48;
inline constexpr int vbInformation = 64;

// One message box as it was asked for.
struct MsgBoxRecord {
  std::u16string Prompt;  // CR LF line breaks
  int Style = vbOKOnly;
  std::u16string Title;  // the caption shown
};
using MsgBoxHook = std::function<void(const MsgBoxRecord&)>;

// Where a window's message boxes go: the screen, or a hook that takes them instead (tests record
// them there). Passed to what shows boxes, so each window has its own.
class MessageBoxes {
 public:
  // Shows the boxes on the screen.
  MessageBoxes() = default;
  // Hands every box to `hook` instead of showing it; an empty hook means the screen.
  explicit MessageBoxes(MsgBoxHook hook) : hook_(std::move(hook)) {}

  // Shows a modal message box with the icon of the style and one OK button, returning when it is
  // dismissed; without a title it shows the application title.
  void MsgBox(QWidget* owner, std::u16string_view Prompt, int Style,
              std::optional<std::u16string_view> Title = std::nullopt) const;

 private:
  MsgBoxHook hook_;
};

// A multi-line text box seen in CR LF units, over either kind of text widget.
class TextBox {
 public:
  using KeyDownHandler = std::function<void(std::int16_t KeyCode, std::int16_t Shift)>;

  // Wraps a QPlainTextEdit the caller keeps owning.
  explicit TextBox(QPlainTextEdit* widget);
  // Wraps a ListTextBox the caller keeps owning; a drop the box refuses shows its reason in one
  // of `boxes`.
  TextBox(ListTextBox* widget, const MessageBoxes& boxes);
  ~TextBox();
  TextBox(TextBox&&) noexcept;
  TextBox& operator=(TextBox&&) noexcept;
  TextBox(const TextBox&) = delete;
  TextBox& operator=(const TextBox&) = delete;

  // Returns the whole text with CR LF line breaks.
  std::u16string Text() const;
  // Replaces the whole text; CR LF pairs, lone CRs and lone LFs become line breaks.
  void SetText(std::u16string_view text);
  // Returns the whole text as the widget holds it, with '\n' line breaks; shared, not copied, so
  // long work can run on it (see SortBoxText).
  QString WidgetText() const;
  // Replaces the whole text with one in the widget's own form, whose line breaks are '\n' only.
  void SetWidgetText(const QString& text);
  // Returns the start of the selection (or the caret) in CR LF units.
  qsizetype SelStart() const;
  // Puts the caret at a CR LF offset with nothing selected.
  void SetSelStart(qsizetype start);
  // Returns the length of the selection in CR LF units.
  qsizetype SelLength() const;
  // Selects this many CR LF units from the current selection start.
  void SetSelLength(qsizetype length);
  // Selects the whole text, the caret at its end, without reading the text.
  void SelectAll();
  // Calls the handler for every key pressed in the box, before the box handles the key itself.
  void OnKeyDown(KeyDownHandler handler);
  // Returns the wrapped widget.
  QWidget* widget() const;

  class Adapter;

 private:
  std::unique_ptr<Adapter> adapter_;
};

// A push button's caption and click, with captions shown literally (no access keys).
class CommandButton {
 public:
  // Wraps a button the caller keeps owning.
  explicit CommandButton(QPushButton* widget);

  // Returns the caption as shown.
  std::u16string Caption() const;
  // Shows the caption literally; an '&' stays an '&' and defines no access key.
  void SetCaption(std::u16string_view caption);
  // Calls the handler on every click.
  void OnClick(std::function<void()> handler);
  // Returns the wrapped button.
  QPushButton* widget() const { return widget_; }

 private:
  QPushButton* widget_;
};

// The top-level window's own operations.
class FormWindow {
 public:
  // Wraps a top-level widget the caller keeps owning.
  explicit FormWindow(QWidget* widget);

  // Sets the title bar text.
  void SetCaption(std::u16string_view caption);
  // Fixes the client area at this width and height in twips, and leaves the title bar only the
  // buttons that work on a window of fixed size (minimise and close, no maximise).
  void SetClientSize(int widthTwips, int heightTwips);
  // Keeps the client width and fixes the client height in twips.
  void SetClientHeight(int heightTwips);

 private:
  QWidget* widget_;
};

// Returns the program icon (32 x 32 and 16 x 16 images).
QIcon AppIcon();

// Does nothing: Qt's widgets need no set-up before the first window is made. Form_Initialize calls
// it first, as the place for any such set-up.
inline void InitCommonControls() {}

using FormFactory = std::function<std::unique_ptr<QWidget>()>;

// Process entry: creates the application and the main form, shows it, runs the event loop until
// the form has closed (also on SIGTERM, SIGINT or SIGHUP, which close it first) and returns the
// exit status.
int RunProcess(int& argc, char** argv, const FormFactory& createMainForm);

}  // namespace ordwell::services
