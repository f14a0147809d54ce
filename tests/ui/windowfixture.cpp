#include "windowfixture.h"

#include <QContextMenuEvent>
#include <QTabBar>

namespace varnook::testing {

void WindowTest::SetUp() {
  ASSERT_TRUE(temp_.isValid());
  // The update check succeeds at once; searches and articles wait until the test ends.
  server_ = std::make_unique<ScriptedServer>([](ScriptedConnection& connection) {
    const auto request = connection.readRequest();
    if (request && request->target.starts_with("/varnook/update.txt")) {
      connection.send(
          httpResponse(200, "OK", "NewestVersion=0.00.00.00\r\n", {"Content-Type: text/plain"}));
    } else {
      connection.waitForPeerClose();
    }
  });
  ASSERT_TRUE(server_->listening());
  // Each test starts with the program's options, whatever the one before left behind.
  OptionsStore stored;
  stored.setAutoSave(false);
  stored.setStorageMode(StorageMode::orgRegistry);
  QFile::remove(QString::fromStdString(stored.storageFile()));
  startSession();
}

void WindowTest::startSession(std::vector<std::string> arguments) {
  session_.reset();
  prompts_ = ScriptedPrompts();
  session_ = std::make_unique<DesktopSession>(
      std::move(arguments), QStringLiteral("/opt/varnook/bin/varnook"), &prompts_);
  useServer(server_->port());
  window().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
  window().activateWindow();
  settle();  // the start-up message reads the command line
}

void WindowTest::useServer(int port) {
  VnkOptions& options = session_->options().options();
  const std::string host = "127.0.0.1:" + std::to_string(port);
  options.homeSite = "http://" + host + "/varnook/update.txt";
  options.serviceHost = host;
  // Article servers are "<server>.<domain>": "127" + "." + "0.0.1:port" is the loopback.
  options.hostList = "127";
  options.multiHost = false;
  options.serviceDomain = "0.0.1:" + std::to_string(port);
}

void WindowTest::TearDown() {
  closePopups();
  // Nothing is to be asked any more: the session goes without closing the window.
  session_.reset();
  server_.reset();
  EXPECT_TRUE(prompts_.answers.empty()) << "answers left unused";
  EXPECT_TRUE(prompts_.fileNames.empty()) << "file names left unused";
}

std::string WindowTest::enabledOf(std::initializer_list<const char*> names) {
  std::string on;
  for (const char* name : names)
    if (action(name)->isEnabled()) on += std::string(on.empty() ? "" : " ") + name;
  return on;
}

VnkOptions WindowTest::storedOptions() {
  OptionsStore stored;
  stored.setStorageMode(StorageMode::orgRegistry);
  stored.load();
  return stored.options();
}

QByteArray WindowTest::fileBytes(const std::string& path) {
  QFile file(QString::fromStdString(path));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WindowTest::settle(int ms) {
  QCoreApplication::processEvents();
  if (ms > 0) QTest::qWait(ms);
  QCoreApplication::processEvents();
}

Request& WindowTest::addRequest(const std::string& keywords, const std::string& name) {
  auto request = name.empty() ? collection().newRequest() : std::make_unique<Request>(name);
  request->keywords = keywords;
  return collection().appendRequest(std::move(request));
}

Article& WindowTest::addArticle(std::uint32_t number, const std::string& subject,
                                const std::string& author, const std::string& requestId,
                                const std::string& text) {
  EXPECT_FALSE(collection().isKnownArticle(number));
  auto article = std::make_unique<Article>(number, subject);
  article->author = author;
  article->requestId = requestId;
  article->forum = "comp.dcom.modems";
  article->text = text;
  if (!text.empty()) article->setState(kComplete);
  return collection().appendArticle(std::move(article), false);
}

void WindowTest::clickRow(QTreeView* list, int row, Qt::KeyboardModifiers modifiers) {
  const QModelIndex index = list->model()->index(row, 1);
  list->scrollTo(index);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, list->visualRect(index).center());
}

QMenu* WindowTest::openContextMenu(QTreeView* list, int row) {
  const QModelIndex index = list->model()->index(row, 1);
  return rightClick(list->viewport(), row >= 0 ? list->visualRect(index).center() : QPoint(5, 5));
}

void WindowTest::menuCommand(QTreeView* list, int row, const char* actionName) {
  openContextMenu(list, row);
  action(actionName)->trigger();
  closePopups();
}

QMenu* WindowTest::rightClick(QWidget* widget, QPoint pos) {
  closePopups();
  QContextMenuEvent event(QContextMenuEvent::Mouse, pos, widget->mapToGlobal(pos));
  QApplication::sendEvent(widget, &event);
  return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

void WindowTest::closePopups() {
  while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
}

void WindowTest::showPage(int page) {
  child<QTabBar>("PageSwitch")->setCurrentIndex(page);
  settle();
}

std::string WindowTest::tempPath(const char* name) const {
  return temp_.filePath(QString::fromLatin1(name)).toStdString();
}

}  // namespace varnook::testing
