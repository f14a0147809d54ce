#include "ui/updateprompts.h"

#include "ui/desktopactions.h"
#include "ui/userprompts.h"

namespace varnook {

UpdatePrompts::UpdatePrompts(UserPrompts& prompts, DesktopActions& desktop, QWidget* parent,
                             std::function<void(const QString&)> showStatus,
                             std::function<void()> closeWindow)
    : prompts_(prompts),
      desktop_(desktop),
      parent_(parent),
      showStatus_(std::move(showStatus)),
      closeWindow_(std::move(closeWindow)) {}

QString UpdatePrompts::displayText(const std::string& text) {
  QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

void UpdatePrompts::showUpdateStatus(const std::string& text) {
  if (showStatus_) showStatus_(displayText(text));
}

bool UpdatePrompts::askYesNo(const std::string& text) {
  return prompts_.message(parent_, UserPrompts::Kind::YesNo, displayText(text)) ==
         UserPrompts::Answer::Yes;
}

bool UpdatePrompts::askOkCancel(const std::string& text) {
  return prompts_.message(parent_, UserPrompts::Kind::OkCancel, displayText(text)) ==
         UserPrompts::Answer::Ok;
}

void UpdatePrompts::openUrl(const std::string& url) {
  desktop_.openUrl(url);
}

void UpdatePrompts::openInHelpViewer(const std::string& url) {
  desktop_.openInHelpViewer(url);
}

void UpdatePrompts::closeMainWindow() {
  if (closeWindow_) closeWindow_();
}

}  // namespace varnook
