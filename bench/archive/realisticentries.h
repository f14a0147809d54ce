#pragma once

// Realistic entries for result pages the benchmarks parse.

#include <cstdint>

#include "../../tests/archive/resultpagebuilder.h"

namespace varnook::testing {

// Deterministic realistic entries: numbers from `firstNumber` on, varied subjects with
// entities and follow-up markers, excerpts with highlighted words, forums, dates, authors.
inline std::vector<PageEntry> realisticEntries(int count, std::uint32_t firstNumber = 447000000) {
  static const char* const kSubjects[] = {
      "Re: 28.8 modem drops carrier after a few minutes",
      "Linux &amp; PPP: chat script hangs at CONNECT",
      "Re: US Robotics Sportster vs. Zoom &quot;V.34&quot; - which one?",
      "WTB: external modem, cheap",
      "Re: Re: init string for  Hayes   Accura",
      "FAQ: comp.dcom.modems frequently asked questions (part 1 of 3)",
      "Re: Why does my modem &lt;beep&gt; at 3am?",
      "Caf&eacute; with dial-up access in M&uuml;nchen?"};
  static const char* const kForums[] = {"comp.dcom.modems", "comp.os.linux.networking",
                                        "alt.comp.hardware", "de.comp.hardware.modems"};
  static const char* const kAuthors[] = {"John Smith &lt;jsmith@example.com&gt;",
                                         "modemguy@isp.net", "Ren&eacute; Dupont",
                                         "&quot;Dr. K&quot; &lt;k@uni.example.edu&gt;"};
  static const char* const kExcerpts[] = {
      "... after dialing the <b>modem</b> connects at 28800 but drops the line after a few "
      "minutes of idle time; the init string is AT&amp;F&amp;C1&amp;D2 and the port speed is "
      "115200 ...",
      "... I have tried every <b>modem</b> setting I could find in the HOWTO, including the "
      "flow control options, without any luck ...",
      "... <b>modem</b> works fine under the other OS, so the hardware is OK. Any idea what "
      "the kernel expects here? ..."};
  static const char* const kExcerptTail =
      " ... &gt; and the <i>second</i> line of the quote, with the usual\n &quot;signature&quot; "
      "&amp; a few more words so the excerpt reads like real text ...";
  std::vector<PageEntry> entries;
  for (int i = 0; i < count; ++i) {
    PageEntry e;
    const std::uint32_t number = firstNumber + static_cast<std::uint32_t>(i) * 7;
    const bool followUp = i % 5 == 3;
    e.number = std::to_string(number) + (followUp ? ".2" : "");
    e.subjectHtml = kSubjects[i % 8];
    if (followUp) e.subjectHtml += " #2";
    e.forumHtml = kForums[i % 4];
    e.dateHtml = "1999/0" + std::to_string(1 + i % 9) + "/" + std::to_string(10 + i % 19);
    e.authorHtml = kAuthors[i % 4];
    e.excerptHtml = std::string(kExcerpts[i % 3]) + kExcerptTail;
    entries.push_back(std::move(e));
  }
  return entries;
}

}  // namespace varnook::testing
