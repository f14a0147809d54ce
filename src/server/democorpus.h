#pragma once

// The demo corpus: about 2,000 generated Usenet articles in a handful of newsgroups
// (a jobs group and a for-sale group among them), in threads whose replies quote to
// several levels, with signatures, web and mail addresses, cross-posts, dates over
// several years and a few names and texts beyond ASCII (MIME encoded words,
// quoted-printable Latin-1, UTF-8 Japanese). Generated from a fixed seed, so every run
// gives the same bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace varnook::server {

struct DemoArticle {
  std::vector<std::string> groups;  // the Newsgroups header's names
  std::string text;                 // the whole article, headers and body, LF line ends
};

std::vector<DemoArticle> generateDemoCorpus(std::uint64_t seed = 1993);

// Writes the corpus as a news spool: <folder>/<group>/<number>, a cross-posted article
// in each of its groups' folders. Returns the number of distinct articles, or -1 with
// `error` set when a file cannot be written.
long writeDemoSpool(const std::string& folder, std::string& error);

}  // namespace varnook::server
