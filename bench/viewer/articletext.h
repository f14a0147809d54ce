// Article text for the viewer benchmarks: real Usenet bodies from the shared corpus, with
// CR LF line ends as the program stores them, repeated up to the size asked for. Falls
// back to generated text when the corpus is not there.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace varnook::bench {

inline std::string withCrLf(const std::string& body) {
  std::string out;
  out.reserve(body.size() + body.size() / 32);
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\n' && (i == 0 || body[i - 1] != '\r')) out.push_back('\r');
    out.push_back(body[i]);
  }
  return out;
}

inline std::string corpusBodies(std::size_t wanted) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  const fs::path spool = "/work/shared/corpus/spool";
  std::error_code ec;
  for (fs::recursive_directory_iterator it(spool, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file()) files.push_back(it->path());
    if (files.size() >= 4000) break;
  }
  std::sort(files.begin(), files.end());
  std::string bodies;
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string article((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    const std::size_t blank = article.find("\n\n");
    if (blank != std::string::npos) bodies += withCrLf(article.substr(blank + 2));
    if (bodies.size() >= wanted) break;
  }
  if (bodies.empty()) {
    for (int i = 0; bodies.size() < 4096; ++i) {
      bodies +=
          "> Someone wrote about the modem at http://www.example.com/modems.html\r\n"
          "Plain text with an address, joe" +
          std::to_string(i) +
          "@example.com, and more.\r\n"
          ">> An older quote of the thread, found in the archive.\r\n\r\n";
    }
  }
  std::string text;
  text.reserve(wanted + bodies.size());
  while (text.size() < wanted) text += bodies;
  text.resize(wanted);
  return text;
}

}  // namespace varnook::bench
