#pragma once

// An archive service for the transfer tests, on the scripted server: result pages of a
// query with "Next matches" links back to itself, article texts, update information, and
// whatever a test wants to break. It counts what was asked for.

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

#include "support/scriptedserver.h"

namespace varnook::testing {

class FakeArchive {
 public:
  // `articles` numbers 1..articles, `perPage` entries on each result page.
  FakeArchive(int articles, int perPage)
      : articles_(articles),
        perPage_(perPage),
        server_(testing::ScriptedServer::respond(
            [this](const testing::ReceivedRequest& r) { return answer(r); })) {}
  // Answers held back are let go first, so the server's threads can end.
  ~FakeArchive() { release(); }

  std::string host() const { return "127.0.0.1:" + std::to_string(server_.port()); }
  // Article servers are "<name>.localhost:<port>", which reaches this server too.
  std::string domain() const { return "localhost:" + std::to_string(server_.port()); }
  testing::ScriptedServer& server() { return server_; }

  // Replaces the answer to requests whose target contains `part`.
  void override(const std::string& part, std::string reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    overrides_[part] = std::move(reply);
  }
  // Answers to requests whose target contains `part` (the articles by default) wait until
  // released: transfers stay running for as long as a test needs them to, whatever the
  // machine's speed.
  void hold(std::string part = "getdoc.xp?AN=") {
    std::lock_guard<std::mutex> lock(mutex_);
    holding_ = std::move(part);
  }
  void release() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      holding_.clear();
    }
    released_.notify_all();
  }

  int count(const std::string& part) {
    int n = 0;
    for (const auto& r : server_.requests()) n += r.target.find(part) != std::string::npos;
    return n;
  }

 private:
  std::string answer(const testing::ReceivedRequest& r) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      released_.wait(
          lock, [&] { return holding_.empty() || r.target.find(holding_) == std::string::npos; });
      for (const auto& [part, reply] : overrides_)
        if (r.target.find(part) != std::string::npos) return reply;
    }
    if (r.target.find("/varnook/update.txt") != std::string::npos)
      return testing::httpResponse(200, "OK", "NewestVersion=0.00.00.00\n",
                                   {"Content-Type: text/plain"});
    const auto an = r.target.find("getdoc.xp?AN=");
    if (an != std::string::npos) {
      const std::string n = std::to_string(std::atoi(r.target.c_str() + an + 13));
      return testing::httpResponse(
          200, "OK",
          "From: Author " + n + " <a" + n + "@example.com>\nSubject: Subject " + n +
              "\nDate: Mon, 05 Apr 1999 12:34:56 GMT\nMessage-ID: <" + n +
              "@example>\nNewsgroup: comp.test\n\nBody of article " + n + "\n> quoted\n",
          {"Content-Type: text/plain"});
    }
    if (r.target.find("dnquery.xp") != std::string::npos) {
      int first = 1;
      const auto at = r.target.find("firstHit=");
      if (at != std::string::npos) first = std::atoi(r.target.c_str() + at + 9);
      return testing::httpResponse(200, "OK", page(first));
    }
    return testing::httpResponse(404, "Not Found", "<html>none</html>");
  }

  std::string page(int first) const {
    std::string html = "<html><body><font size=-1>Matches of about " + std::to_string(articles_) +
                       " matches</font>\n";
    const int last = std::min(articles_, first + perPage_ - 1);
    if (last < articles_)
      html += "<a href=\"http://" + host() +
              "/[ST_rn=ps]/dnquery.xp?QRY=x&firstHit=" + std::to_string(last + 1) +
              "\">Next matches</a>\n";
    for (int n = first; n <= last; ++n)
      html += "<a href=\"http://" + host() + "/[ST_rn=ps]/getdoc.xp?AN=" + std::to_string(n) +
              "\">Subject " + std::to_string(n) + "</a><br><b>Forum</b>: comp.test<br>" +
              "<b>Date</b>: 1999/04/05<br><b>Author</b>: Author " + std::to_string(n) + "<p>\n";
    if (first > last) html += "Your search did not match any articles at all";
    return html + "</body></html>\n";
  }

  int articles_, perPage_;
  std::mutex mutex_;
  std::condition_variable released_;
  std::string holding_;
  std::map<std::string, std::string> overrides_;
  testing::ScriptedServer server_;
};

}  // namespace varnook::testing
