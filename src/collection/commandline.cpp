#include "collection/commandline.h"

#include <string_view>

#include "base/asciicase.h"

namespace varnook {
namespace {

bool endsWithVnk(std::string_view path) {
  return path.size() >= 4 && startsWithNoCase(path.substr(path.size() - 4), ".VNK");
}

std::string trimmed(const std::string& text) {
  std::size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
  return text.substr(b, e - b);
}

class WordReader {
 public:
  explicit WordReader(CommandLine& out) : out_(out), field_(&out.keywords) {}

  void read(std::string_view parameter) {
    if (!lastWasBlank_) add(' ');
    for (std::size_t i = 0; i < parameter.size(); ++i) {
      const char c = parameter[i];
      if (c == '~') {
        if (i + 1 == parameter.size()) {
          add('~');
          continue;
        }
        const char next = parameter[++i];
        switch (next) {
          case '~':
            add('~');
            break;
          case 'a':
          case 'A':
            field_ = &out_.authors;
            break;
          case 's':
          case 'S':
            field_ = &out_.subjects;
            break;
          case 'g':
          case 'G':
            field_ = &out_.groups;
            break;
          case 'k':
          case 'K':
            field_ = &out_.keywords;
            break;
          default:
            add('~');
            add(next);
        }
      } else if (c == '\'') {
        add('"');
      } else if (c == ' ' || c == '\t') {
        if (!lastWasBlank_) add(c);
      } else {
        add(c);
      }
    }
  }

 private:
  void add(char c) {
    *field_ += c;
    lastWasBlank_ = c == ' ' || c == '\t';
  }

  CommandLine& out_;
  std::string* field_;
  bool lastWasBlank_ = true;
};

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine result;
  if (arguments.empty()) return result;
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h") result.kind = CommandLine::Kind::Help;
    if (argument == "--version" && result.kind != CommandLine::Kind::Help)
      result.kind = CommandLine::Kind::Version;
  }
  if (result.kind != CommandLine::Kind::None) return result;

  const std::string& first = arguments.front();
  if (startsWithNoCase(first, "/Q:")) {
    result.kind = CommandLine::Kind::Query;
    std::string_view text = std::string_view(first).substr(3, 999);
    if (startsWithNoCase(text, "RUN:")) {
      result.run = true;
      text = std::string_view(first).substr(7, 999);
    }
    result.queryParameters = std::string(text);
    return result;
  }

  std::size_t wordsFrom = 0;
  if (endsWithVnk(first)) {
    result.collectionPath = first;
    wordsFrom = 1;
  }
  WordReader reader(result);
  for (std::size_t i = wordsFrom; i < arguments.size(); ++i) reader.read(arguments[i]);
  result.keywords = trimmed(result.keywords);
  result.authors = trimmed(result.authors);
  result.subjects = trimmed(result.subjects);
  result.groups = trimmed(result.groups);
  if (result.hasWords()) result.kind = CommandLine::Kind::Words;
  return result;
}

std::string commandLineUsage() {
  return "Usage: varnook [FILE.vnk [WORDS...]]\n"
         "       varnook /Q:PARAMS\n"
         "       varnook /Q:RUN:PARAMS\n"
         "       varnook WORDS...\n"
         "\n"
         "The desktop news search agent: searches a Usenet archive service and keeps the\n"
         "queries and the articles found in a news collection (a .vnk file).\n"
         "\n"
         "  FILE.vnk        open the collection; further arguments are search words\n"
         "  /Q:PARAMS       fill the query panel from stored query parameters\n"
         "  /Q:RUN:PARAMS   fill the query panel and send the query\n"
         "  WORDS           a new query, not sent yet; ~a (authors), ~s (subjects),\n"
         "                  ~g (newsgroups) and ~k (keywords) choose the field of the\n"
         "                  words that follow; ~~ is a tilde, ' counts as \"\n"
         "\n"
         "Options:\n"
         "  -h, --help      print this help and exit\n"
         "  --version       print the version and exit\n"
         "Qt's own options (such as -platform or -style) are read as well.\n";
}

}  // namespace varnook
