#pragma once

// Template part of documentbuilder.h.

#include <string_view>

namespace varnook::server {

template <typename RunSink>
void forEachBodyRun(std::string_view body, RunSink&& run) {
  std::size_t runStart = 0, runEnd = 0;
  bool runQuoted = false;
  bool inSignature = false;
  bool inUuencode = false;
  std::size_t position = 0;
  auto flush = [&] {
    if (runEnd > runStart) run(body.substr(runStart, runEnd - runStart), runQuoted);
  };
  while (position < body.size()) {
    std::size_t end = body.find('\n', position);
    end = end == std::string_view::npos ? body.size() : end + 1;
    std::string_view line = body.substr(position, end - position);
    std::string_view content = line;
    while (!content.empty() && (content.back() == '\n' || content.back() == '\r'))
      content.remove_suffix(1);

    bool skip = false;
    if (inUuencode) {
      skip = true;
      if (content == "end" || content == "`") inUuencode = false;
    } else if (content.size() > 10 && content.substr(0, 6) == "begin " && content[6] >= '0' &&
               content[6] <= '7') {
      inUuencode = true;
      skip = true;
    } else if (content.size() == 61 && content.front() == 'M' &&
               content.find(' ') == std::string_view::npos) {
      skip = true;  // a stray uuencoded line
    }
    if (content == "-- ") inSignature = true;

    std::size_t lead = 0;
    while (lead < content.size() && (content[lead] == ' ' || content[lead] == '\t')) ++lead;
    const bool quoted = inSignature || (lead < content.size() && content[lead] == '>');

    if (skip || quoted != runQuoted) {
      flush();
      runStart = skip ? end : position;
      runQuoted = quoted;
    }
    runEnd = end;
    if (skip) runStart = end;
    position = end;
  }
  flush();
}

}  // namespace varnook::server
