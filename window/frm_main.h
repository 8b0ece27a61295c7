#pragma once

#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <thread>

#include "window/window_services.h"

class QCloseEvent;
class QEvent;

namespace ordwell {

// The program's only window: two list boxes, the Sort, Options and About buttons, and the options
// panel with the two separator boxes below the closed window's bottom edge.
class FrmMain final : public QWidget {
  Q_OBJECT

 public:
  // Builds the window in its creation state and loads the settings kept in app.Path; its message
  // boxes go to `boxes`.
  explicit FrmMain(services::AppFacts app, services::MessageBoxes boxes = {}, QWidget* parent = nullptr);
  ~FrmMain() override;

  // Runs the platform's start-up initialisation.
  void Form_Initialize();
  // Sets the title and restores the separators and the panel state from the settings file.
  void Form_Load();
  // Sorts the input list into the output box, or shows the refusal and changes nothing.
  void cmdGo_Click();
  // Opens the options panel when it is closed and closes it when it is open.
  void cmdOptions_Click();
  // Shows the About box.
  void cmdAbout_Click();
  // Selects the whole input list on Ctrl+A.
  void txtListIn_KeyDown(std::int16_t KeyCode, std::int16_t Shift);
  // Selects the whole output list on Ctrl+A.
  void txtListOut_KeyDown(std::int16_t KeyCode, std::int16_t Shift);
  // Saves the separators and the panel state; Cancel is left as it is, so closing proceeds.
  void Form_Unload(std::int16_t& Cancel);

  // Runs Form_Unload unless it has already run; every way the window or the program ends comes
  // through here, so the settings are written exactly once.
  void UnloadOnce();

  // Returns whether a sort is running; the window then shows the wait cursor, ignores the user's
  // input and tells assistive technology it is busy.
  bool IsSorting() const { return hold_ != nullptr; }

 signals:
  // Emitted when a sort has ended, after its result or its message has been shown.
  void sortFinished();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Creates the controls at their places in the closed-panel state, with their first captions and texts.
  void CreateControls();
  // Routes the controls' clicks and key-downs to the handlers.
  void ConnectHandlers();
  // Names every box after its caption for assistive technology and gives the buttons tooltips.
  void SetUpAccessibility();
  // Lets Ctrl+Return and Ctrl+Enter anywhere in the window sort as the Sort button does.
  void AddSortShortcuts();
  std::filesystem::path PrefsPath() const;

  struct Controls;
  struct SortOutcome;
  struct SortDone;
  class SortHold;

  // Holds the window (IsSorting) from the Sort button until the sort's outcome is shown, or
  // releases it.
  void HoldForSort(bool hold);
  // Shows the sorted list, or the refusal or the failure, on the window's thread, and releases
  // the window.
  void FinishSort(const SortOutcome& outcome);

  services::AppFacts app_;
  services::MessageBoxes boxes_;
  services::FormWindow form_;
  std::unique_ptr<Controls> c_;
  std::unique_ptr<SortHold> hold_;
  bool unloaded_ = false;
  // Declared last, so a sort still running when the window goes is waited for before anything
  // it reports to is destroyed.
  std::jthread sortThread_;
};

}  // namespace ordwell
