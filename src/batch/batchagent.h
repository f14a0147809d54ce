#pragma once

#include <cstdio>
#include <string>

#include "batch/batchoptions.h"
#include "collection/collection.h"
#include "transfer/transferui.h"
#include "update/updateui.h"

namespace varnook {

class Scheduler;

// The agent without a window: opens or builds a collection from the command line, runs its
// transfers on a poll loop until nothing is left running, and saves it (not when the run
// changed nothing in its input file). The file it saves is locked from before it is read
// until the end. SIGTERM, SIGINT and SIGHUP end the transfers, and what was gathered is
// saved. Questions are printed and answered No; log lines go to standard error or a file,
// and every failed transfer's line to standard error as well. Control characters from the
// service are printed as U+FFFD, never as the escape sequences they may form.
class BatchAgent final : public TransferUi, public UpdateUi {
 public:
  BatchAgent() = default;
  ~BatchAgent() override;

  // Runs the whole job; returns the exit status (0 ok, 1 a transfer failed or a page could
  // not be interpreted, 2 usage error, unreadable collection file, a file in use by another
  // run or no regular file, 128 + the signal that stopped it).
  int run(const BatchOptions& options);

  // TransferUi and UpdateUi
  void log(const std::string& line) override;
  bool askYesNo(const std::string& text) override;
  void openInBrowser(const std::string& path) override;
  void countsChanged(const TransferCounts& counts) override;
  void transferFailed(const ArticleBase& object, const std::string& line) override;
  void showUpdateStatus(const std::string& text) override;
  bool askOkCancel(const std::string& text) override;
  void openUrl(const std::string& url) override;
  void openInHelpViewer(const std::string& url) override;
  void closeMainWindow() override {}

 private:
  void printProgress(bool final);
  void printSummary(const Collection& collection, const std::string& savedTo) const;

  std::FILE* logSink_ = stderr;
  bool quiet_ = false;
  bool progress_ = false;
  bool failed_ = false;
  int failedArticles_ = 0;
  int failures_ = 0;
  Collection* collection_ = nullptr;
};

}  // namespace varnook
