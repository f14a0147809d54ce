#pragma once

#include <QMainWindow>

class QStackedWidget;
class QTabBar;

namespace varnook {

class DesktopCommands;
struct WindowParts;

// The main window of the desktop agent: the menus and the tool bar (built from the
// commands' table), the page switch with the Queries, Articles and Log pages, and the
// status bar. It takes ownership of the parts it is given; what they do is the commands'.
// The commands must outlive the window's use (DesktopSession destroys them first and the
// window then, without closing it).
class MainWindow final : public QMainWindow {
  Q_OBJECT

 public:
  MainWindow(DesktopCommands& commands, WindowParts parts, QWidget* parent = nullptr);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void createMenus();
  void createToolBar();
  void completeViewMenu(const WindowParts& parts);

  DesktopCommands& commands_;
  QTabBar* pageSwitch_ = nullptr;
  QStackedWidget* pages_ = nullptr;
};

}  // namespace varnook
