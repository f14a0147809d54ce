#pragma once

#include <QString>
#include <functional>
#include <string>

#include "update/updateui.h"

class QWidget;

namespace varnook {

class DesktopActions;
class UserPrompts;

// The home-site check's questions and pages on the desktop: its Yes/No and OK/Cancel
// questions as message boxes, its status texts in the window's status bar, its pages in
// the browser or help viewer.
class UpdatePrompts final : public UpdateUi {
 public:
  // `showStatus` puts a text in the status bar's message panel (empty clears it);
  // `closeWindow` ends the program after the user chose to download a required update.
  UpdatePrompts(UserPrompts& prompts, DesktopActions& desktop, QWidget* parent,
                std::function<void(const QString&)> showStatus, std::function<void()> closeWindow);

  void showUpdateStatus(const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  bool askOkCancel(const std::string& text) override;
  void openUrl(const std::string& url) override;
  void openInHelpViewer(const std::string& url) override;
  void closeMainWindow() override;

  // A core text as a message box shows it: CR LF line ends become plain line breaks.
  static QString displayText(const std::string& text);

 private:
  UserPrompts& prompts_;
  DesktopActions& desktop_;
  QWidget* parent_;
  std::function<void(const QString&)> showStatus_;
  std::function<void()> closeWindow_;
};

}  // namespace varnook
