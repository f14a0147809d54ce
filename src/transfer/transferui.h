#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace varnook {

class Article;
class ArticleBase;

// What the status bar counts: the collection's rows, its loaded articles and the running
// transfers. The window decides how they read.
struct TransferCounts {
  std::size_t requests = 0;
  std::size_t articles = 0;
  std::int32_t loadedArticles = 0;
  std::int32_t requestTransfers = 0;
  std::int32_t articleTransfers = 0;
  bool operator==(const TransferCounts&) const = default;
};

// What the download scheduler asks of the user interface. The desktop window and the batch
// tool implement it; every call comes on the loop's thread.
class TransferUi {
 public:
  virtual ~TransferUi() = default;

  // Appends one line to the transfer log.
  virtual void log(const std::string& line) = 0;
  // A question with Yes and No; true means Yes. The batch tool prints it and answers No.
  virtual bool askYesNo(const std::string& text) = 0;
  // Shows a local file in the web browser (a page the parsers could not read).
  virtual void openInBrowser(const std::string& path) = 0;
  // The transfer counters or the number of requests or articles changed; `counts` are the
  // new ones. Posted and coalesced: at most one call per loop round.
  virtual void countsChanged(const TransferCounts& /*counts*/) {}
  // Whether any transfer runs ("Stop all ongoing downloads" is enabled only then).
  virtual void transfersRunningChanged(bool /*running*/) {}
  // The automatic download was switched (stop-all releases it).
  virtual void autoDownloadChanged(bool /*on*/) {}
  // An article's transfer has ended; the window shows it when its row is the selected one.
  virtual void articleTransferEnded(Article& /*article*/) {}
  // A transfer failed (its status reads "Errors!|..."): `line` names the object and the
  // reason. Goes to the log unless the interface does more.
  virtual void transferFailed(const ArticleBase& /*object*/, const std::string& line) { log(line); }
  // The service was out of reach (`reason`): the automatic download (released before this
  // call) and the queued loads wait until resumed.
  virtual void downloadsPaused(const std::string& reason) {
    log("Automatic download paused: " + reason);
  }
};

}  // namespace varnook
