#pragma once

#include <string>

namespace varnook {

// What the home-site check asks of the user interface.
class UpdateUi {
 public:
  virtual ~UpdateUi() = default;
  // The status bar's message panel; an empty text clears it.
  virtual void showUpdateStatus(const std::string& text) = 0;
  // A question with Yes and No; true means Yes. The batch tool prints it and answers No.
  virtual bool askYesNo(const std::string& text) = 0;
  // A question with OK and Cancel; true means OK. The batch tool prints it and answers Cancel.
  virtual bool askOkCancel(const std::string& text) = 0;
  // Opens a page in the web browser; and in the help viewer (which falls back to the browser).
  virtual void openUrl(const std::string& url) = 0;
  virtual void openInHelpViewer(const std::string& url) = 0;
  // The running version is outdated and the user chose to download the new one: the
  // program ends (the desktop program closes its main window).
  virtual void closeMainWindow() = 0;
};

}  // namespace varnook
