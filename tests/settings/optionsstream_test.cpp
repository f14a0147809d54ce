#include "settings/optionsstream.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <iterator>
#include <random>
#include <sstream>
#include <tuple>
#include <vector>

#include "streambuilder.h"
#include "support/fixtures.h"

namespace varnook {
namespace {

using testing::StreamBuilder;

// The stream a table of properties spells out (settings/data/*-options.txt).
std::string streamOf(const std::string& table) {
  StreamBuilder s;
  s.header();
  for (const auto& row : testing::readTable("settings/data/" + table, 3)) {
    const std::string &kind = row[0], &name = row[1], &value = row[2];
    std::istringstream words(value);
    if (kind == "boolean") s.boolean(name, value == "true");
    if (kind == "string") s.string(name, value);
    if (kind == "identifier") s.identifier(name, value);
    if (kind == "set") s.set(name, {std::istream_iterator<std::string>(words), {}});
    if (kind.starts_with("integer"))
      s.integer(name, kind.back() - '0', static_cast<std::int32_t>(std::stoll(value, nullptr, 0)));
  }
  return s.end().bytes;
}

TEST(OptionsStream, DefaultsAreWrittenByteForByte) {
  EXPECT_EQ(writeOptionsStream(VnkOptions{}), streamOf("default-options.txt"));
}

TEST(OptionsStream, IntegersTakeTheSmallestKind) {
  const struct {
    std::int32_t value;
    int kind;
  } cases[] = {
      {40, 2},     {-128, 2},  {127, 2},    {-129, 3},  {128, 3},       {200, 3},
      {-32768, 3}, {32767, 3}, {-32769, 4}, {32768, 4}, {INT32_MIN, 4}, {INT32_MAX, 4},
  };
  for (const auto& c : cases) {
    VnkOptions options;
    options.hitsPerPage = c.value;
    const std::string stream = writeOptionsStream(options);
    EXPECT_NE(stream.find(StreamBuilder().integer("HitsPerPage", c.kind, c.value).bytes),
              std::string::npos)
        << c.value;
  }
}

// The other forms are those of data/full-options.txt (TruncationAtEveryByte...).
TEST(OptionsStream, EntriesTakeTheirStoredForm) {
  using S = StreamBuilder;
  const struct {
    const char* what;
    void (*change)(VnkOptions&);
    std::string entry;
  } cases[] = {
      {"top bit but no system colour", [](VnkOptions& o) { o.linkColor = 0x80000019; },
       S().integer("LinkColor", 4, static_cast<std::int32_t>(0x80000019)).bytes},
      {"255 bytes", [](VnkOptions& o) { o.proxyUser = std::string(255, '\xFF'); },
       S().string("ProxyUser", std::string(255, '\xFF')).bytes},
      {"256 bytes", [](VnkOptions& o) { o.proxyPWD = std::string(256, '\0'); },
       S().longString("ProxyPWD", std::string(256, '\0')).bytes},
      {"named charset", [](VnkOptions& o) { o.articleFont.charset = 204; },
       S().identifier("ArticleFont.Charset", "RUSSIAN_CHARSET").bytes},
  };
  for (const auto& c : cases) {
    VnkOptions options;
    c.change(options);
    const std::string stream = writeOptionsStream(options);
    EXPECT_NE(stream.find(c.entry), std::string::npos) << c.what;
    VnkOptions read;
    EXPECT_TRUE(readOptionsStream(stream, read).clean()) << c.what;
    EXPECT_EQ(read, options) << c.what;
  }
}

// Every stored property of a set of options, in stream order.
auto storedFields(const VnkOptions& o) {
  const FontSpec& f = o.articleFont;
  return std::tie(o.useProxy, o.proxyURL, o.proxyPort, o.proxyUser, o.proxyPWD, o.hostList,
                  o.multiHost, o.hitsPerPage, o.maxRequests, o.highLightLinks, o.highLightQuotes,
                  o.highLightKW, o.colorG, o.colorGG, o.colorGGG, o.colorGGGG, o.keywordColor,
                  o.linkColor, o.underlineLink, f.charset, f.color, f.height, f.name, f.pitch,
                  f.style, o.serviceHost, o.serviceDomain, o.homeSite, o.trustedCertificates,
                  o.transferTimeout, o.groupByThread, o.loadOnSelect, o.windowGeometry,
                  o.queriesSplitter, o.articlesSplitter, o.queryColumns, o.articleColumns);
}

// For each stored property in stream order: whether `a` and `b` agree on it.
std::vector<bool> sameFields(const VnkOptions& a, const VnkOptions& b) {
  return std::apply(
      [&](const auto&... x) {
        return std::apply([&](const auto&... y) { return std::vector<bool>{(x == y)...}; },
                          storedFields(b));
      },
      storedFields(a));
}

std::string VnkOptions::*const kStringFields[] = {
    &VnkOptions::proxyURL,       &VnkOptions::proxyPort,       &VnkOptions::proxyUser,
    &VnkOptions::proxyPWD,       &VnkOptions::hostList,        &VnkOptions::serviceHost,
    &VnkOptions::serviceDomain,  &VnkOptions::homeSite,        &VnkOptions::trustedCertificates,
    &VnkOptions::windowGeometry, &VnkOptions::queriesSplitter, &VnkOptions::articlesSplitter,
    &VnkOptions::queryColumns,   &VnkOptions::articleColumns};

// Random option sets, rich in the values at the edges of the stored forms.
struct OptionsGenerator {
  std::mt19937 rng;

  int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
  std::int32_t pick(std::initializer_list<std::int32_t> pool, std::int32_t otherwise) {
    const auto index = static_cast<std::size_t>(uniform(0, static_cast<int>(pool.size())));
    return index < pool.size() ? pool.begin()[index] : otherwise;
  }
  std::int32_t integer() {
    return pick({-129, -128, 127, 128, -32769, -32768, 32767, 32768, INT32_MIN, INT32_MAX, 0, -1},
                static_cast<std::int32_t>(rng()));
  }
  Color color() {
    switch (uniform(0, 3)) {
      case 0:  // a named plain colour or clNone
        return std::array<Color, 5>{clBlack, clGreen, clWhite, clFuchsia, clNone}[uniform(0, 4)];
      case 1:  // system colours, and a few just past the last one
        return 0x80000000u + static_cast<Color>(uniform(0, 0x1F));
      default:
        return static_cast<Color>(rng());
    }
  }
  std::string text() {
    const int sizes[] = {0, 0, 1, 255, 256, 300, uniform(0, 300)};
    std::string s(static_cast<std::size_t>(sizes[uniform(0, 6)]), '\0');
    const int fill = uniform(0, 3);  // all NUL, all 0xFF, or any bytes
    for (char& c : s) c = static_cast<char>(fill == 0 ? 0 : fill == 1 ? 255 : uniform(0, 255));
    return s;
  }
  VnkOptions next() {
    VnkOptions o;
    for (auto field :
         {&VnkOptions::useProxy, &VnkOptions::multiHost, &VnkOptions::highLightLinks,
          &VnkOptions::highLightQuotes, &VnkOptions::highLightKW, &VnkOptions::underlineLink,
          &VnkOptions::groupByThread, &VnkOptions::loadOnSelect})
      o.*field = uniform(0, 1) == 1;
    for (auto field : kStringFields) o.*field = text();
    for (auto field : {&VnkOptions::colorG, &VnkOptions::colorGG, &VnkOptions::colorGGG,
                       &VnkOptions::colorGGGG, &VnkOptions::keywordColor, &VnkOptions::linkColor})
      o.*field = color();
    o.hitsPerPage = integer();
    o.maxRequests = integer();
    o.transferTimeout = integer();
    o.articleFont = {pick({0, 1, 2, 77, 129, 204, 255, 3, 256, -1}, integer()),
                     color(),
                     integer(),
                     text(),
                     static_cast<FontPitch>(uniform(0, 2)),
                     static_cast<std::uint8_t>(uniform(0, 15))};
    return o;
  }
};

TEST(OptionsStream, GeneratedOptionSetsSurviveWriteAndRead) {
  OptionsGenerator generator{std::mt19937(20240611)};
  for (int i = 0; i < 3000; ++i) {
    const VnkOptions original = generator.next();
    const std::string stream = writeOptionsStream(original);
    // Read over the defaults, options that are not written (empty strings) keep them.
    VnkOptions expected = original;
    const VnkOptions defaults;
    for (auto field : kStringFields)
      if ((expected.*field).empty()) expected.*field = defaults.*field;
    if (expected.articleFont.name.empty()) expected.articleFont.name = defaults.articleFont.name;

    VnkOptions overDefaults;
    const OptionsStreamReport report = readOptionsStream(stream, overDefaults);
    ASSERT_TRUE(report.clean()) << report.message;
    ASSERT_EQ(overDefaults, expected) << "set " << i;
    VnkOptions overItself = original;
    readOptionsStream(stream, overItself);
    ASSERT_EQ(overItself, original);
  }
}

TEST(OptionsStream, TruncationAtEveryByteKeepsTheDefaultsForWhatWasCut) {
  // Every option differs from its default and every property is written.
  VnkOptions full;
  const std::string fullStream = streamOf("full-options.txt");
  ASSERT_TRUE(readOptionsStream(fullStream, full).clean());
  EXPECT_EQ(writeOptionsStream(full), fullStream);  // each property in its stored form
  full.proxyPWD = std::string(300, 'p');
  const std::vector<bool> none(std::tuple_size_v<decltype(storedFields(full))>, false);
  ASSERT_EQ(sameFields(full, VnkOptions{}), none);

  const std::string stream = writeOptionsStream(full);
  std::size_t previousPrefix = 0;
  for (std::size_t cut = 0; cut < stream.size(); ++cut) {
    VnkOptions read;
    const OptionsStreamReport report = readOptionsStream(stream.substr(0, cut), read);
    ASSERT_EQ(report.status, OptionsStreamStatus::Truncated) << "cut at " << cut;
    // The options that were read form a prefix; everything behind it has its default.
    const std::vector<bool> asFull = sameFields(read, full), asDefault = sameFields(read, {});
    std::size_t prefix = 0;
    while (prefix < none.size() && asFull[prefix]) ++prefix;
    for (std::size_t i = prefix; i < none.size(); ++i)
      ASSERT_TRUE(asDefault[i]) << "cut at " << cut << ", field " << i;
    ASSERT_EQ(report.applied, static_cast<int>(prefix));
    ASSERT_GE(prefix, previousPrefix);
    previousPrefix = prefix;
  }
  EXPECT_EQ(previousPrefix, none.size());  // only the closing bytes were missing
}

TEST(OptionsStream, DamagedStreamsKeepWhatCouldBeRead) {
  using S = StreamBuilder;
  const auto hits = [] { return S().header().integer("HitsPerPage", 2, 77); };
  const auto then9 = [](S& s) { return s.integer("MaxRequests", 2, 9).end().bytes; };
  const auto complete = OptionsStreamStatus::Complete;
  const auto truncated = OptionsStreamStatus::Truncated;
  const auto malformed = OptionsStreamStatus::Malformed;
  struct Case {
    const char* what;
    std::string bytes;
    OptionsStreamStatus status;
    int applied;
    int skipped;
    std::int32_t hitsPerPage;  // 77 when read, 40 (the default) when not
    std::int32_t maxRequests;  // 9 when read, 4 (the default) when not
  };
  const Case cases[] = {
      {"unknown property", then9(hits().string("NoSuchOption", "x")), complete, 2, 1, 77, 9},
      {"unknown property holding a set", then9(hits().set("Nothing", {"a", "b"})), complete, 2, 1,
       77, 9},
      {"underscore property", then9(hits().string("_Path", "/etc")), complete, 2, 1, 77, 9},
      {"integer given as string", then9(S().header().string("HitsPerPage", "77")), complete, 1, 1,
       40, 9},
      {"boolean given as integer", then9(hits().integer("UseProxy", 2, 1)), complete, 2, 1, 77, 9},
      {"string given as identifier", then9(hits().identifier("HostList", "www")), complete, 2, 1,
       77, 9},
      {"unknown colour identifier", then9(hits().identifier("ColorG", "clPink")), complete, 2, 1,
       77, 9},
      {"unknown style member", then9(hits().set("ArticleFont.Style", {"fsBold", "fsBlink"})),
       complete, 2, 1, 77, 9},
      {"unknown charset identifier",
       then9(hits().identifier("ArticleFont.Charset", "KLINGON_CHARSET")), complete, 2, 1, 77, 9},
      {"value kind that cannot be skipped",
       then9(hits().shortString("ColorG").byte(5).raw("0123456789")), malformed, 1, 0, 77, 4},
      {"value kind zero", then9(hits().shortString("ColorG").byte(0)), malformed, 1, 0, 77, 4},
      {"long string longer than the rest",
       hits().shortString("HostList").byte(12).littleEndian(0xFFFFFFF0u, 4).raw("abc").bytes,
       truncated, 1, 0, 77, 4},
      {"set without its end",
       hits().shortString("ArticleFont.Style").byte(11).shortString("fsBold").bytes, truncated, 1,
       0, 77, 4},
      {"no closing bytes", hits().bytes, truncated, 1, 0, 77, 4},
      {"sub-component behind the list", hits().byte(0).raw("TPF0").bytes, malformed, 1, 0, 77, 4},
      {"other header names", S().header("TForm1", "").integer("HitsPerPage", 2, 77).end().bytes,
       complete, 1, 0, 77, 4},
      {"trailing bytes after the end", hits().end().raw("garbage").bytes, complete, 1, 0, 77, 4},
      {"property given twice: the last wins",
       S().header().integer("HitsPerPage", 2, 5).integer("HitsPerPage", 2, 77).end().bytes,
       complete, 2, 0, 77, 4},
      {"bad signature", S().raw("TPF1").shortString("TVNKOptions").bytes, malformed, 0, 0, 40, 4},
      {"not a stream at all", "hello", malformed, 0, 0, 40, 4},
      {"cut inside the signature", "TP", truncated, 0, 0, 40, 4},
      {"empty", "", truncated, 0, 0, 40, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VnkOptions read;
    const OptionsStreamReport report = readOptionsStream(c.bytes, read);
    EXPECT_EQ(std::tuple(report.status, report.applied, report.skipped),
              std::tuple(c.status, c.applied, c.skipped));
    EXPECT_EQ(std::tuple(read.hitsPerPage, read.maxRequests),
              std::tuple(c.hitsPerPage, c.maxRequests));
    EXPECT_EQ(report.clean(), c.status == complete && c.skipped == 0);
    EXPECT_EQ(report.message.empty(), report.clean());
    // Nothing but the two integers is touched by any of these streams.
    read.hitsPerPage = 40;
    read.maxRequests = 4;
    EXPECT_EQ(read, VnkOptions{});
  }
}

}  // namespace
}  // namespace varnook
