// What the main window's logic asks of the window toolkit beyond platform/Ui.h:
// the window frame with its status bar and check marks, the settings dialog,
// the font chooser and the file chooser. The Qt window implements these;
// tests answer them with doubles. Every text is CP932 bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/Settings.h"

namespace hollowmere {

// The main window as its logic sees it.
class IMainWindow {
 public:
  virtual ~IMainWindow() = default;
  // Places the window: top, left, width, height, in this order; the HTML view
  // follows the new size.
  virtual void SetBounds(const TFormBounds& bounds) = 0;
  virtual TFormBounds Bounds() const = 0;
  // The status bar's one panel.
  virtual void SetStatusText(const std::string& text) = 0;
  // The hourglass over the HTML view while a page loads.
  virtual void SetBusyCursor(bool busy) = 0;
  // The check marks of the two rendering-mode items.
  virtual void ShowRenderingMode(bool emulation) = 0;
  // Asks the application to end; the message loop returns later.
  virtual void RequestClose() = 0;
  // The archive's state beside the status text, which page loading leaves
  // alone: how many messages it holds, or what went wrong. A problem is
  // also printed on standard error when the program runs without a window.
  virtual void ShowArchiveState(const std::string& text, bool problem) {}
  // The check mark of the archive's on/off item.
  virtual void ShowArchiveEnabled(bool enabled) {}
  // The HTML view's zoom in percent; a window without one keeps 100.
  virtual void SetZoomPercent(int32_t percent) {}
  virtual int32_t ZoomPercent() const { return 100; }
};

// The four values the settings dialog carries, as its controls show them.
struct TSettingDialogValues {
  std::string Luid;
  std::string PageCount;  // the page count as typed
  std::string FmoText;    // one FMO name per line
  bool PlayEnabled = false;
};

class ISettingDialog {
 public:
  virtual ~ISettingDialog() = default;
  // Shows the dialog modally, filled from `values`. The OK button closes it
  // only when `acceptOk` holds for what the controls show at that moment.
  // True when closed with OK; `values` then holds what the controls showed.
  virtual bool Execute(TSettingDialogValues& values,
                       const std::function<bool(const TSettingDialogValues&)>& acceptOk) = 0;
};

// A font as the font chooser shows it.
struct TFontChoice {
  std::string Face;
  int32_t PixelSize = 12;
  bool Bold = false;
  bool Italic = false;
};

class IFontChooser {
 public:
  virtual ~IFontChooser() = default;
  // Opens on `initial`; the chosen font, or nothing when cancelled.
  virtual std::optional<TFontChoice> Choose(const TFontChoice& initial) = 0;
};

class IFileChooser {
 public:
  virtual ~IFileChooser() = default;
  // `filter`: "description (*.ext)"; `startFolder`: where the chooser opens
  // (the toolkit's choice when empty or missing). The chosen file's full
  // path, or nothing when cancelled.
  virtual std::optional<std::string> ChooseFile(const std::string& filter,
                                                const std::string& startFolder) = 0;
};

}  // namespace hollowmere
