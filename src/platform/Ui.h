// What the core asks of the window toolkit, as small interfaces: message
// boxes, the HTML view, the plugin status window and the desktop shell. The
// Qt window implements them; tests answer them with doubles (tests/support).
// All texts are CP932 bytes; implementations convert at their boundary.
#pragma once

#include <memory>
#include <string>

namespace hollowmere {

class IMessageBoxes {
 public:
  virtual ~IMessageBoxes() = default;
  // Modal box with an OK button and the application title as caption.
  virtual void ShowMessage(const std::string& text) = 0;
  // Modal box with Yes and No, no icon; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  // The system's default beep.
  virtual void Beep() = 0;
};

// The embedded HTML view.
class IHtmlView {
 public:
  virtual ~IHtmlView() = default;
  virtual void Navigate(const std::string& url) = 0;
};

// The borderless status window shown while plugins load.
class IProgressWindow {
 public:
  virtual ~IProgressWindow() = default;
  virtual void Show() = 0;
  // Sets the label if it differs and repaints at once.
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void Close() = 0;
};

class IProgressWindowFactory {
 public:
  virtual ~IProgressWindowFactory() = default;
  virtual std::unique_ptr<IProgressWindow> Create() = 0;
};

// The desktop's default handler for URLs.
class IShell {
 public:
  virtual ~IShell() = default;
  // `verb` empty: the handler's default action; "open" for the version box.
  virtual void Open(const std::string& url, const std::string& verb) = 0;
};

}  // namespace hollowmere
