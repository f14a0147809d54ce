#include "update/homesite.h"

#include <algorithm>
#include <cstdio>

#include "archive/queryurl.h"
#include "net/httpclient.h"
#include "settings/proxysettings.h"
#include "varnook/version.h"

namespace varnook {
namespace {

// The update information is a few name=value lines.
constexpr std::int64_t kMaxAnswerSize = 1 << 20;

}  // namespace

std::string versionString(int major, int minor, int release, int build) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d.%2.2d.%2.2d.%2.2d", major, minor, release, build);
  return buf;
}

std::string programVersionString() {
  int parts[4] = {0, 0, 0, 0};
  std::sscanf(kVersion, "%d.%d.%d.%d", &parts[0], &parts[1], &parts[2], &parts[3]);
  return versionString(parts[0], parts[1], parts[2], parts[3]);
}

bool versionGreater(const std::string& a, const std::string& b) {
  // Byte by byte, as unsigned characters.
  return std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

UpdateValues parseUpdateValues(const std::string& body) {
  UpdateValues values;
  std::size_t pos = 0;
  while (pos < body.size()) {
    std::size_t end = body.find('\n', pos);
    if (end == std::string::npos) end = body.size();
    std::string line = body.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto eq = line.find('=');
    // The first line of a name counts, as a list lookup finds it first.
    if (eq != std::string::npos) values.emplace(line.substr(0, eq), line.substr(eq + 1));
    pos = end + 1;
  }
  return values;
}

HomeSite::HomeSite(EventLoop& loop, const VnkOptions& options, UpdateUi& ui)
    : loop_(loop), options_(options), ui_(ui), version_(programVersionString()) {}

HomeSite::~HomeSite() = default;

std::string HomeSite::serviceAddress() const {
  const ServiceSettings service = options_.serviceSettings();
  return serviceScheme(service) + std::string(hostWithoutScheme(service.serviceHost)) + "/";
}

void HomeSite::check(std::function<void(bool completed)> done) {
  if (succeeded_) {
    if (done) done(true);
    return;
  }
  if (done) waiting_.push_back(std::move(done));
  if (client_) return;  // the callers wait for the check under way

  client_ = std::make_unique<HttpClient>(loop_);
  HttpClient& client = *client_;
  answer_.clear();
  client.url = options_.homeSite;
  client.receiveBuffer = &answer_;
  applyProxySettings(client, options_);
  client.trustedCertificates = options_.trustedCertificates;
  client.onHeaderEnd = [this] {
    // Fires once after the request lines (lines may be added) and once after the response
    // header; only the first accepts lines.
    if (client_ && client_->state() == HttpClient::State::SendingRequest) {
      client_->writeRequestLine("X-ProductVersion: " + version_);
      client_->writeRequestLine("Accept: text/plain");
    }
  };
  client.maxDocumentSize = kMaxAnswerSize;
  client.onRequestDone = [this](int, int error) { finished(error); };
  ui_.showUpdateStatus("Contacting home site for update information...");
  const std::uint64_t check = ++checks_;
  const std::string error = client.getAsync();
  if (!error.empty()) {
    // Nothing started: end the check as a failed one, after this call has returned, unless
    // it was stopped (or this object went) meanwhile.
    loop_.post([this, alive = std::weak_ptr<char>(life_), check] {
      if (!alive.expired() && client_ && checks_ == check) finished(-1);
    });
  }
}

bool HomeSite::retryDue() const {
  if (succeeded_ || running() || failures_ == 0 || retryAfterMs < 0) return false;
  return std::chrono::steady_clock::now() - lastFailure_ >= std::chrono::milliseconds(retryAfterMs);
}

void HomeSite::abort() {
  if (!client_) return;
  client_.reset();
  ui_.showUpdateStatus("");
  std::vector<std::function<void(bool)>> waiting;
  waiting.swap(waiting_);
  for (auto& done : waiting) done(false);
}

void HomeSite::finished(int error) {
  const int status = client_ ? client_->statusCode() : 0;
  // The client is in its own completion handler; let it go after that has returned.
  std::shared_ptr<HttpClient> ended(client_.release());
  loop_.post([ended] {});

  if (error == 0 && status > 0 && status < 300) {
    values_ = parseUpdateValues(answer_);
    succeeded_ = true;
  } else {
    ++failures_;
    lastFailure_ = std::chrono::steady_clock::now();
  }
  ui_.showUpdateStatus("Update information received");
  bool closing = false;
  if (succeeded_) closing = askQuestions();
  ui_.showUpdateStatus("");

  std::vector<std::function<void(bool)>> waiting;
  waiting.swap(waiting_);
  for (auto& done : waiting) done(!closing);
}

bool HomeSite::askQuestions() {
  auto value = [this](const char* name) -> std::string {
    const auto it = values_.find(name);
    return it == values_.end() ? std::string() : it->second;
  };
  if (versionGreater(value("OldestValidVersion"), version_)) outdated_ = true;

  bool closing = false;
  if (versionGreater(value("NewestVersion"), version_)) {
    std::string revisions = value("RevisionsURL");
    if (revisions.empty()) revisions = revisionsUrl();
    const std::string question =
        outdated_ ? "This version of Varnook may no longer work correctly due to the recent "
                    "changes on " +
                        serviceAddress() +
                        ".  The update is available for free download from Varnook Web site. "
                        "Press [YES] to download the new version now or [NO] to try working "
                        "with the current version (not recommended)."
                  : "A newer version of Varnook is available for free download from Varnook "
                    "Web site. Do you want to view the list of changes now?";
    if (ui_.askYesNo(question)) {
      ui_.openUrl(revisions);
      if (outdated_) {
        closing = true;
        ui_.closeMainWindow();
      }
    }
  }
  if (closing) return true;

  const std::string messageUrl = value("MessageUrl");
  if (!messageUrl.empty()) {
    const std::string subject = value("MessageSubject");
    if (subject.empty() ||
        ui_.askOkCancel("There is a message for you from the Varnook home site: \r\n\r\n" +
                        subject + "\r\n\r\nClick Ok to view it now in your default browser"))
      ui_.openInHelpViewer(messageUrl);
  }
  return false;
}

std::string HomeSite::homePageUrl() const {
  // The folder of the update information on the home site.
  const std::string& site = options_.homeSite;
  const auto scheme = site.find("://");
  const auto pathStart = site.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  if (pathStart == std::string::npos) return site + "/";
  return site.substr(0, pathStart + 1);
}

std::string HomeSite::revisionsUrl() const {
  const std::string& site = options_.homeSite;
  const auto slash = site.rfind('/');
  const auto scheme = site.find("://");
  if (slash == std::string::npos || (scheme != std::string::npos && slash < scheme + 3))
    return homePageUrl() + "revisions.html";
  return site.substr(0, slash + 1) + "revisions.html";
}

}  // namespace varnook
