#include "windowfixture.h"

#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QStackedWidget>
#include <QTabBar>

#include "settings/optionsstore.h"
#include "transfer/scheduler.h"

namespace varnook::testing {

UserPrompts::Answer ScriptedPrompts::message(QWidget*, Kind kind, const QString& text) {
  messages.push_back({kind, text});
  if (kind == Kind::warning || kind == Kind::error) return Answer::ok;
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected question: " << text.toStdString();
    return Answer::cancel;
  }
  const Answer answer = answers.front();
  answers.pop_front();
  return answer;
}

QString ScriptedPrompts::openFileName(QWidget*, const FileDialogSpec& spec) {
  fileDialogs.push_back(spec);
  if (fileNames.empty()) {
    ADD_FAILURE() << "unexpected file dialog: " << spec.title.toStdString();
    return {};
  }
  const QString name = fileNames.front();
  fileNames.pop_front();
  return name;
}

QString ScriptedPrompts::saveFileName(QWidget* parent, const FileDialogSpec& spec) {
  return openFileName(parent, spec);
}

int ScriptedPrompts::execDialog(QDialog& dialog) {
  ++dialogsShown;
  return onDialog ? onDialog(dialog) : QDialog::Accepted;
}

bool ScriptedPrompts::startProgram(const QString& program, const QStringList& arguments) {
  started.push_back(QStringList{program} + arguments);
  return startSucceeds;
}

LoopbackHttp::LoopbackHttp(Handler handler) : handler_(std::move(handler)) {
  EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
  QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      auto buffer = std::make_shared<QByteArray>();
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
        *buffer += socket->readAll();
        const qsizetype end = buffer->indexOf("\r\n\r\n");
        if (end < 0) return;
        const QList<QByteArray> requestLine = buffer->left(buffer->indexOf("\r\n")).split(' ');
        const QByteArray target = requestLine.size() > 1 ? requestLine[1] : QByteArray();
        targets_.push_back(target);
        buffer->clear();
        if (std::optional<QByteArray> response = handler_(target)) {
          socket->write(*response);
          socket->disconnectFromHost();
        }
      });
      QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
  });
}

QByteArray LoopbackHttp::ok(const QByteArray& body, const QByteArray& type) {
  return "HTTP/1.0 200 OK\r\nContent-Type: " + type +
         "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

void WindowTest::SetUp() {
  ASSERT_TRUE(temp_.isValid());
  // The update check succeeds at once; searches and articles wait for ever.
  http_ = std::make_unique<LoopbackHttp>([](const QByteArray& target) -> std::optional<QByteArray> {
    if (target.startsWith("/varnook/update.txt"))
      return LoopbackHttp::ok("NewestVersion=0.00.00.00\r\n");
    return std::nullopt;
  });
  startSession();
}

void WindowTest::startSession(std::vector<std::string> arguments) {
  session_.reset();
  prompts_ = ScriptedPrompts();
  session_ = std::make_unique<DesktopSession>(
      std::move(arguments), QStringLiteral("/opt/varnook/bin/varnook"), &prompts_);
  useServer(http_->port());
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
  http_.reset();
  EXPECT_TRUE(prompts_.answers.empty()) << "answers left unused";
  EXPECT_TRUE(prompts_.fileNames.empty()) << "file names left unused";
}

QString WindowTest::panelText(int panel) {
  auto* label = window().findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(panel));
  return label != nullptr ? label->text() : QStringLiteral("<no panel>");
}

void WindowTest::settle(int ms) {
  QCoreApplication::processEvents();
  if (ms > 0) QTest::qWait(ms);
  QCoreApplication::processEvents();
}

bool WindowTest::waitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QTest::qWait(5);
  }
  return true;
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
  if (!text.empty()) {
    ++collection().loadedArticles;
    article->setState(kComplete);
  }
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

void WindowTest::answerFile(const std::string& fileName) {
  prompts_.fileNames.push_back(QString::fromStdString(fileName));
}

QStringList WindowTest::messageTexts() const {
  QStringList texts;
  for (const auto& shown : prompts_.messages) texts << shown.text;
  return texts;
}

}  // namespace varnook::testing
