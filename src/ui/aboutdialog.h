#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace varnook {

class DesktopActions;
class HomeSite;

// "About Varnook": the program's title and version, what the home site said about newer
// versions, a link to the home page or the list of changes, and "Check &Updates", which
// asks the home site (with its questions) and shows the outcome. The home site and the
// desktop actions must outlive the dialog.
class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  AboutDialog(HomeSite& homeSite, DesktopActions& desktop, QWidget* parent = nullptr);

  // Shows what the last successful check found; without one the labels stay as they are.
  void showStatus();

  QLabel* lblTitle;
  QLabel* lblVersion;
  QLabel* lblStatus;
  QLabel* lblLink;
  QPushButton* btnCheckUpdates;
  QPushButton* btnOK;

 private:
  void btnCheckUpdatesClick();
  void setLink(const std::string& url);

  HomeSite& homeSite_;
  DesktopActions& desktop_;
  QString link_;
};

}  // namespace varnook
