#include "server/headerdate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace varnook::server {
namespace {

UnixTime utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return unixTimeFromCivil(y, mo, d, h, mi, s);
}

TEST(HeaderDate, ReadsTheFormsFoundInRealArticles) {
  struct Case {
    const char* text;
    UnixTime expected;
  };
  const Case cases[] = {
      {"Mon, 5 Apr 1993 23:23:53 GMT", utc(1993, 4, 5, 23, 23, 53)},
      {"Mon, 05 Apr 1993 23:23:53 GMT", utc(1993, 4, 5, 23, 23, 53)},
      {"5 Apr 93 23:23:53 GMT", utc(1993, 4, 5, 23, 23, 53)},
      {"20 Apr 1993 19:22:36 -0400", utc(1993, 4, 20, 23, 22, 36)},
      {"Tue, 20 Apr 1993 17:24:43 +0200", utc(1993, 4, 20, 15, 24, 43)},
      {"21 Apr 93 01:11:21 EDT", utc(1993, 4, 21, 5, 11, 21)},
      {"15 Apr 93  02:09:00 mst", utc(1993, 4, 15, 9, 9, 0)},
      {"26 Apr 1993 7:42:36 -0600 (CST)", utc(1993, 4, 26, 13, 42, 36)},
      {"21 Apr 93 18:10:55 NZST", utc(1993, 4, 21, 6, 10, 55)},
      {"2 May 93 12:14:17 GMT+12", utc(1993, 5, 2, 0, 14, 17)},
      {"19 APR 93 10:00:00 GMT", utc(1993, 4, 19, 10, 0, 0)},
      {"17 Apr 1993 12:30 CDT", utc(1993, 4, 17, 17, 30, 0)},
      {"17 Apr 93 12:30:00", utc(1993, 4, 17, 12, 30, 0)},
      {"        Thu, 22 Apr 93 04:37:45 CST", utc(1993, 4, 22, 10, 37, 45)},
      {"Apr 5, 1999 08:00", utc(1999, 4, 5, 8, 0, 0)},
      {"Mon Apr  5 23:23:53 1993", utc(1993, 4, 5, 23, 23, 53)},
      {"Wednesday, 21-Apr-93 14:05:00 GMT", utc(1993, 4, 21, 14, 5, 0)},
      {"1993-04-05T12:34:56Z", utc(1993, 4, 5, 12, 34, 56)},
      {"1993-04-05T", utc(1993, 4, 5)},
      {"1 Jan 05 00:00:00 GMT", utc(2005, 1, 1)},
      {"1 Jan 103 00:00:00 GMT", utc(2003, 1, 1)},
      {"29 Feb 1996 10:00:00 GMT", utc(1996, 2, 29, 10)},
      {"5 Apr 1993 23:59:60 GMT", utc(1993, 4, 5, 23, 59, 59)},
  };
  for (const Case& c : cases) {
    const auto parsed = parseHeaderDate(c.text);
    ASSERT_TRUE(parsed.has_value()) << c.text;
    EXPECT_EQ(*parsed, c.expected) << c.text;
  }
}

TEST(HeaderDate, RefusesWhatIsNoDate) {
  for (const char* text : {"", "yesterday", "32 Apr 1993 10:00:00 GMT", "29 Feb 1993 10:00 GMT",
                           "5 Foo 1993 10:00 GMT", "5 Apr 1993 25:00:00 GMT", "5 Apr 1993 10:61:00",
                           "Apr 1993", "5 6 7 8"}) {
    EXPECT_FALSE(parseHeaderDate(text).has_value()) << text;
  }
}

TEST(HeaderDate, ReceivedAndEnvelopeDates) {
  EXPECT_EQ(parseReceivedDate("from a.b by c.d (8.6/8.6); Mon, 5 Apr 93 23:23:53 -0100"),
            utc(1993, 4, 6, 0, 23, 53));
  EXPECT_FALSE(parseReceivedDate("from a.b by c.d").has_value());
  EXPECT_EQ(parseEnvelopeDate("From someone@example.com Mon Apr  5 23:23:53 1993\n"),
            utc(1993, 4, 5, 23, 23, 53));
  // The placeholder date some tools write is no date.
  EXPECT_FALSE(parseEnvelopeDate("From x@y Thu Jan  1 00:00:00 1970").has_value());
  EXPECT_FALSE(parseEnvelopeDate("From x@y").has_value());
}

TEST(HeaderDate, FormatsForTheAgent) {
  EXPECT_EQ(formatHeaderDate(utc(1993, 4, 5, 23, 23, 53)), "Mon, 05 Apr 1993 23:23:53 GMT");
  EXPECT_EQ(formatHeaderDate(utc(2000, 2, 29, 0, 0, 0)), "Tue, 29 Feb 2000 00:00:00 GMT");
  EXPECT_EQ(formatListDate(utc(1993, 4, 5, 23, 23, 53)), "1993/04/05");
  EXPECT_EQ(formatHeaderDate(kUnknownDate), "");
  for (UnixTime t : {utc(1901, 1, 1), utc(1969, 12, 31, 23, 59, 59), utc(2038, 1, 19, 3, 14, 8)}) {
    const CivilTime c = civilFromUnixTime(t);
    EXPECT_EQ(unixTimeFromCivil(c.year, c.month, c.day, c.hour, c.minute, c.second), t);
  }
}

// Every Date header of the real corpus must be readable.
TEST(HeaderDate, ReadsEveryDateOfTheCorpus) {
  const std::filesystem::path spool = VARNOOK_CORPUS_SPOOL;
  if (!std::filesystem::is_directory(spool)) GTEST_SKIP() << "no corpus at " << spool;
  int dates = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(spool)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream file(entry.path());
    std::string line;
    while (std::getline(file, line) && !line.empty()) {
      if (line.rfind("Date:", 0) != 0) continue;
      ++dates;
      const auto parsed = parseHeaderDate(line.substr(5));
      ASSERT_TRUE(parsed.has_value()) << entry.path() << ": " << line;
      EXPECT_GT(*parsed, utc(1980, 1, 1)) << line;
      EXPECT_LT(*parsed, utc(2030, 1, 1)) << line;
      break;
    }
  }
  EXPECT_GT(dates, 1000);
}

}  // namespace
}  // namespace varnook::server
