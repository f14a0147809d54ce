#include "batch/batchoptions.h"

#include <charconv>

namespace varnook {

const char* batchUsage() {
  return "Usage: varnook-batch [OPTIONS] [FILE.vnk | /Q:[RUN:]PARAMS | WORDS...]\n"
         "Searches the Usenet archive service without a window, collects the articles the\n"
         "result pages list, downloads them, and saves the collection.\n"
         "\n"
         "  --send              send every query given on the command line (a /Q:RUN: query\n"
         "                      is always sent); with no query given, send every request of\n"
         "                      the opened collection from page 1\n"
         "  --pages N           stop each request after N pages (stop at next page)\n"
         "  --download          download marked articles automatically, up to\n"
         "                      --max-transfers at once\n"
         "  --no-mark           new articles are not marked for download\n"
         "  -o, --output FILE   save the collection there when done (default: the opened\n"
         "                      .vnk, if any)\n"
         "  --service [https://]HOST[:PORT]   the service's web host (searches); with\n"
         "                      \"https://\" every URL of the service uses HTTPS\n"
         "  --domain DOMAIN[:PORT]  the domain of its article servers\n"
         "  --hosts LIST        comma-separated article server names\n"
         "  --first-server | --rotate   always the first article server, or each in turn\n"
         "  --hits N            hits per result page (10..200)\n"
         "  --max-transfers N   article downloads at once (1..100)\n"
         "  --transfer-timeout SECONDS  a transfer not done after this long fails, however\n"
         "                      steadily data trickles in (1..86400; default 300)\n"
         "  --home-site URL     where the update information is asked for (once a run)\n"
         "  --no-update-check   do not ask the home site at all\n"
         "  --proxy HOST[:PORT]  --proxy-user USER  --proxy-password PASS\n"
         "                      (https goes through the proxy's CONNECT tunnel)\n"
         "  --ca-file FILE      PEM certificates trusted for HTTPS besides the system's\n"
         "                      (for an archive with a private authority)\n"
         "  --options FILE      the options file to read (default: the user's options;\n"
         "                      never written)\n"
         "  --log FILE          write the log lines there (default: standard error)\n"
         "  --progress          a progress line on a terminal: pages, articles found,\n"
         "                      downloaded, failed\n"
         "  --thread N          add a request for the thread of article N (repeatable); sent\n"
         "                      with --send like the words\n"
         "  --list              print the collected articles when done; when the collection\n"
         "                      holds thread requests, as reply trees, replies indented\n"
         "  -q, --quiet         no log lines, no progress, no summary (failed transfers are\n"
         "                      still reported, one line each)\n"
         "  --help, --version\n"
         "\n"
         "Search words may choose their field: ~a authors, ~s subjects, ~g groups,\n"
         "~k keywords; ~~ is a ~.\n"
         "\n"
         "The file to be saved is locked while the run goes on; a run that changed nothing\n"
         "does not rewrite its input. SIGTERM, SIGINT and SIGHUP end the transfers and save\n"
         "what was gathered.\n"
         "\n"
         "Exit status: 0 all transfers ended well; 1 a transfer failed or a page could not\n"
         "be interpreted; 2 usage error, the collection file is missing or malformed, or the\n"
         "file to be saved is in use by another run or no regular file; 128 + the number of\n"
         "the signal that stopped the run.\n";
}

namespace {

bool toInt(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

}  // namespace

std::optional<BatchOptions> parseBatchOptions(const std::vector<std::string>& args,
                                              std::string& error) {
  BatchOptions o;
  bool onlyArguments = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (onlyArguments || a.empty() || a[0] != '-' || a == "-") {
      o.arguments.push_back(a);
      continue;
    }
    if (a == "--") {
      onlyArguments = true;
      continue;
    }
    std::string name = a, inlineValue;
    bool hasInline = false;
    if (a.rfind("--", 0) == 0) {
      const auto eq = a.find('=');
      if (eq != std::string::npos) {
        name = a.substr(0, eq);
        inlineValue = a.substr(eq + 1);
        hasInline = true;
      }
    }
    auto value = [&](std::string& out) {
      if (hasInline) {
        out = inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) {
        error = "option " + name + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    auto number = [&](int low, int high, int& out) {
      std::string text;
      if (!value(text)) return false;
      if (!toInt(text, out) || out < low || out > high) {
        error = "option " + name + ": '" + text + "' is not a number from " + std::to_string(low) +
                " to " + std::to_string(high);
        return false;
      }
      return true;
    };
    auto optionalText = [&](std::optional<std::string>& out) {
      std::string text;
      if (!value(text)) return false;
      out = text;
      return true;
    };
    int n = 0;
    if (name == "--send") {
      o.send = true;
    } else if (name == "--pages") {
      if (!number(1, 1000000, o.pages)) return std::nullopt;
    } else if (name == "--download") {
      o.download = true;
    } else if (name == "--no-mark") {
      o.noMark = true;
    } else if (name == "-o" || name == "--output") {
      if (!value(o.output)) return std::nullopt;
    } else if (name == "--service") {
      if (!optionalText(o.service)) return std::nullopt;
    } else if (name == "--domain") {
      if (!optionalText(o.domain)) return std::nullopt;
    } else if (name == "--hosts") {
      if (!optionalText(o.hosts)) return std::nullopt;
    } else if (name == "--first-server") {
      o.rotate = false;
    } else if (name == "--rotate") {
      o.rotate = true;
    } else if (name == "--hits") {
      if (!number(10, 200, n)) return std::nullopt;
      o.hits = n;
    } else if (name == "--max-transfers") {
      if (!number(1, 100, n)) return std::nullopt;
      o.maxTransfers = n;
    } else if (name == "--transfer-timeout") {
      if (!number(1, 86400, n)) return std::nullopt;
      o.transferTimeout = n;
    } else if (name == "--no-update-check") {
      o.noUpdateCheck = true;
    } else if (name == "--home-site") {
      if (!optionalText(o.homeSite)) return std::nullopt;
    } else if (name == "--proxy") {
      if (!optionalText(o.proxy)) return std::nullopt;
    } else if (name == "--proxy-user") {
      if (!optionalText(o.proxyUser)) return std::nullopt;
    } else if (name == "--proxy-password") {
      if (!optionalText(o.proxyPassword)) return std::nullopt;
    } else if (name == "--ca-file") {
      if (!optionalText(o.caFile)) return std::nullopt;
    } else if (name == "--options") {
      if (!value(o.optionsFile)) return std::nullopt;
    } else if (name == "--log") {
      if (!value(o.logFile)) return std::nullopt;
    } else if (name == "--progress") {
      o.progress = true;
    } else if (name == "--thread") {
      std::string text;
      if (!value(text)) return std::nullopt;
      std::uint32_t article = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), article);
      if (ec != std::errc() || end != text.data() + text.size() || article == 0) {
        error = "option --thread: '" + text + "' is not an article number (1 to 4294967295)";
        return std::nullopt;
      }
      o.threads.push_back(article);
    } else if (name == "--list") {
      o.list = true;
    } else if (name == "-q" || name == "--quiet") {
      o.quiet = true;
    } else if (name == "--help" || name == "-h") {
      o.help = true;
    } else if (name == "--version") {
      o.version = true;
    } else {
      error = "unknown option " + name;
      return std::nullopt;
    }
    if (hasInline && (name == "--send" || name == "--download" || name == "--no-mark" ||
                      name == "--first-server" || name == "--rotate" || name == "--progress" ||
                      name == "--list" || name == "--quiet" || name == "--help" ||
                      name == "--version" || name == "--no-update-check")) {
      error = "option " + name + " takes no value";
      return std::nullopt;
    }
  }
  return o;
}

}  // namespace varnook
