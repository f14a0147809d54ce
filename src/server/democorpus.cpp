#include "server/democorpus.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "server/storedarticle.h"

namespace varnook::server {
namespace {

// splitmix64: small, fast and the same on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }
  bool chance(int percent) { return below(100) < static_cast<std::size_t>(percent); }
  template <typename T, std::size_t N>
  const T& pick(const std::array<T, N>& items) {
    return items[below(N)];
  }
  template <typename T>
  const T& pick(const std::vector<T>& items) {
    return items[below(items.size())];
  }

 private:
  std::uint64_t state_;
};

struct Person {
  const char* from;  // the From header as written (may hold encoded words)
  const char* name;  // for attributions and signatures (UTF-8)
  const char* address;
  const char* signature;  // text after "-- "
};

const std::vector<Person>& people() {
  static const std::vector<Person> kPeople = {
      {"Alice Hartmann <alice@cs.example.edu>", "Alice Hartmann", "alice@cs.example.edu",
       "Alice Hartmann, Dept. of Computer Science\nhttp://www.cs.example.edu/~alice/"},
      {"bob@widgets.example.com (Bob Kowalski)", "Bob Kowalski", "bob@widgets.example.com",
       "Bob Kowalski  --  Widgets Inc.  --  \"Nothing is impossible for the man\n"
       "who doesn't have to do it himself.\""},
      {"Carol Nguyen <carol.nguyen@physics.example.org>", "Carol Nguyen",
       "carol.nguyen@physics.example.org",
       "Carol Nguyen | clear skies | carol.nguyen@physics.example.org"},
      {"Dave Okafor <dokafor@netcom.example.net>", "Dave Okafor", "dokafor@netcom.example.net",
       "Dave\nRide safe. http://www.example.net/~dokafor/rides.html"},
      {"=?ISO-8859-1?Q?J=FCrgen_M=FCller?= <jmueller@uni-stuttgart.example.de>",
       "J\xC3\xBCrgen M\xC3\xBCller", "jmueller@uni-stuttgart.example.de",
       "J\xC3\xBCrgen M\xC3\xBCller, Institut f\xC3\xBCr Informatik"},
      {"=?UTF-8?B?RnJhbsOnb2lzIExlZsOodnJl?= <flefevre@inria.example.fr>",
       "Fran\xC3\xA7ois Lef\xC3\xA8vre", "flefevre@inria.example.fr",
       "Fran\xC3\xA7ois -- http://www.inria.example.fr/~flefevre"},
      {"=?UTF-8?B?5bGx55Sw5aSq6YOO?= <yamada@lab.example.jp>",
       "\xE5\xB1\xB1\xE7\x94\xB0\xE5\xA4\xAA\xE9\x83\x8E", "yamada@lab.example.jp",
       "Taro Yamada <yamada@lab.example.jp>"},
      {"Erin O'Brien <erin@shamrock.example.ie>", "Erin O'Brien", "erin@shamrock.example.ie",
       "Erin"},
      {"Frank Liu <frank@bayarea.example.com>", "Frank Liu", "frank@bayarea.example.com",
       "Frank Liu -- opinions are mine, not my employer's."},
      {"Grace Patel <gpatel@example.ac.uk>", "Grace Patel", "gpatel@example.ac.uk",
       "Grace Patel, University of Exampleshire"},
      {"Hank Rasmussen <hank@rasmussen.example.dk>", "Hank Rasmussen", "hank@rasmussen.example.dk",
       "Hank"},
      {"Ines Duarte <ines@example.pt>", "Ines Duarte", "ines@example.pt", "Ines Duarte"},
      {"jack@bbs.example.org (Jack Turner)", "Jack Turner", "jack@bbs.example.org",
       "Jack Turner   jack@bbs.example.org   1:234/567 FidoNet"},
      {"Karen Svensson <karen@sunet.example.se>", "Karen Svensson", "karen@sunet.example.se",
       "Karen"},
      {"Leo Marchetti <leo@polimi.example.it>", "Leo Marchetti", "leo@polimi.example.it",
       "Leo Marchetti -- http://www.polimi.example.it/~leo/"},
      {"Mona Said <msaid@example.eg>", "Mona Said", "msaid@example.eg", "Mona"},
      {"Nate Brooks <nate@example.com>", "Nate Brooks", "nate@example.com",
       "Nate Brooks\n\"The best way to predict the future is to invent it.\""},
      {"Olga Ivanova <olga@msu.example.ru>", "Olga Ivanova", "olga@msu.example.ru", "Olga"},
      {"Pete Wallace <pwallace@hardware.example.com>", "Pete Wallace",
       "pwallace@hardware.example.com",
       "Pete Wallace, Hardware Heaven: http://www.hardware.example.com/"},
      {"Recruiting Desk <jobs@talent.example.com>", "Recruiting Desk", "jobs@talent.example.com",
       "Talent Partners -- http://www.talent.example.com/jobs/"},
  };
  return kPeople;
}

struct Topic {
  const char* subject;
  std::vector<const char*> sentences;
};

struct Group {
  const char* name;
  std::vector<Topic> topics;
  std::vector<const char*> replies;  // sentences used in follow-ups
  int weight;                        // share of the threads
};

const std::vector<Group>& groups() {
  static const std::vector<Group> kGroups = {
      {"comp.lang.c++",
       {{"Virtual destructors and slicing",
         {"When I delete a derived object through a base pointer the derived destructor never "
          "runs.",
          "Is it true that every polymorphic base class needs a virtual destructor?",
          "The compiler gives no warning, but the memory profiler shows a leak.",
          "Passing the object by value slices off the derived part as well."}},
        {"Templates and linker errors",
         {"My template class compiles fine but the linker complains about undefined symbols.",
          "The member functions are defined in a separate .cpp file.",
          "Explicit instantiation seems to fix it, but is that the portable way?"}},
        {"STL map versus hash table performance",
         {"For about a million string keys the map lookups dominate the profile.",
          "A hash table would be faster but the STL has none in the standard yet.",
          "Has anybody measured the SGI hash_map against a sorted vector?"}},
        {"Exceptions in constructors",
         {"What happens to members that were already constructed when the constructor throws?",
          "I allocate two buffers with new and the second allocation may fail.",
          "Should I use auto_ptr for the members to avoid the leak?"}}},
       {"The destructor of the most derived class only runs through a virtual call.",
        "Put the definitions in the header; the compiler needs them at the point of instantiation.",
        "Stroustrup covers this in chapter 12 of the third edition.",
        "Make the base destructor virtual and the problem goes away.",
        "Measure before you optimise: the allocator may be the real bottleneck.",
        "Members constructed before the throw are destroyed in reverse order."},
       18},
      {"rec.bicycles.tech",
       {{"Derailleur adjustment on a Shimano 105 group",
         {"My rear derailleur skips between the fourth and fifth cog under load.",
          "I adjusted the barrel adjuster half a turn but it still hesitates.",
          "The cable housing is a year old and the chain has about 3000 km on it."}},
        {"Chain wear and cassette life",
         {"How often do you replace the chain to save the cassette?",
          "My chain checker shows 0.75 percent stretch already.",
          "Is waxing the chain worth the trouble compared to a wet lube?"}},
        {"Wheel building: spoke tension",
         {"I built my first wheel, 32 spokes three cross, and it keeps going out of true.",
          "Without a tensiometer I pluck the spokes and compare the pitch.",
          "Should I stress relieve the spokes by squeezing them in pairs?"}},
        {"Brake squeal with new pads",
         {"The new cantilever pads squeal like a pig on every stop.",
          "Toeing in the pads helped for a day but the noise came back.",
          "The rims are clean and I sanded the pads lightly."}}},
       {"Check the derailleur hanger alignment; a bent hanger causes exactly this.",
        "Replace the chain at 0.5 percent and the cassette will last for three chains.",
        "Sheldon has a page on this: http://www.sheldonbrown.example.com/",
        "Toe-in of about one millimetre at the trailing edge usually stops the squeal.",
        "Spoke tension matters more than the lacing pattern.",
        "Clean the rims with alcohol and the noise will go."},
       16},
      {"sci.astro",
       {{"Comet Hale-Bopp visibility",
         {"Hale-Bopp is now visible to the naked eye low in the northwest after sunset.",
          "The dust tail was about ten degrees long from a dark site last night.",
          "What is the best time to photograph it with a 50 mm lens?"}},
        {"Dark matter and galaxy rotation curves",
         {"The rotation curves of spiral galaxies stay flat far beyond the visible disk.",
          "Is there any alternative to dark matter that explains them?",
          "Modified Newtonian dynamics keeps coming up in the discussion."}},
        {"Choosing a first telescope",
         {"I am choosing between an 8 inch Dobsonian and a 90 mm refractor.",
          "Most of my observing would be from a suburban backyard.",
          "Which one shows more of the planets and the Moon?"}}},
       {"Aperture wins: the Dobsonian will show far more.",
        "Use a tripod and exposures of about twenty seconds to avoid trailing.",
        "The flat rotation curves are the strongest evidence we have.",
        "See the Sky and Telescope guide at http://www.skyandtelescope.example.com/",
        "Light pollution limits deep sky objects, not the planets."},
       14},
      {"comp.os.linux.misc",
       {{"Kernel 2.0 compile fails on a 486",
         {"make zImage stops with an error in the sound driver.",
          "I configured the kernel with make menuconfig and left most options at the default.",
          "The machine has 8 MB of RAM and gcc 2.7.2."}},
        {"Setting up PPP with a US Robotics Sportster modem",
         {"My USR Sportster 28.8 dials out fine but pppd hangs up after a few seconds.",
          "The chat script gets the CONNECT string and then nothing happens.",
          "Do I need to set crtscts in the options file?"}},
        {"X Window configuration for an S3 card",
         {"XF86Setup does not recognise my S3 Trio64 card.",
          "The screen flickers at 1024x768 and the mouse pointer is garbage.",
          "Which dot clocks should I use in XF86Config?"}}},
       {"Turn on hardware flow control with crtscts and lock the port speed at 115200.",
        "Leave the sound driver out of the kernel and build it as a module.",
        "Run SuperProbe first, it tells you the exact chipset and RAMDAC.",
        "The Linux Documentation Project has a PPP HOWTO: http://www.linuxdoc.example.org/",
        "Check the syslog; pppd logs the reason it hung up."},
       16},
      {"alt.folklore.computers",
       {{"The first computer bug",
         {"The story of the moth in the relay of the Mark II keeps being retold.",
          "Was the word bug used for faults before that incident?",
          "Grace Hopper's log book is supposed to be in the Smithsonian."}},
        {"Core memory stories",
         {"My father worked with core memory that kept its contents through a power failure.",
          "The operators could read the cores after a crash to find out what happened.",
          "Does anyone still have a core plane on their desk?"}}},
       {"Edison used the word bug for technical faults in the 1870s.",
        "We had a PDP-8 with core that ran for years without a reboot.",
        "The log book entry says: first actual case of bug being found.",
        "Core memory was woven by hand, often by textile workers."},
       10},
      {"misc.jobs.offered",
       {{"Senior C++ developer, Boston MA",
         {"A growing software company in Boston seeks a senior C++ developer.",
          "Five years of experience with object-oriented design and the STL required.",
          "Knowledge of TCP/IP networking and UNIX is a plus.",
          "Send your resume to jobs@talent.example.com or fax 617-555-0100."}},
        {"UNIX system administrator, Austin TX",
         {"Our data center in Austin needs an experienced UNIX system administrator.",
          "You will look after Solaris and HP-UX servers and the backup systems.",
          "Competitive salary, relocation assistance available."}},
        {"Contract: Visual Basic programmer, New York",
         {"Six month contract for a Visual Basic programmer in New York City.",
          "Experience with SQL Server and Crystal Reports preferred.",
          "Rate depends on experience. No agencies please."}}},
       {},
       8},
      {"misc.forsale.computers",
       {{"FS: 486DX2/66 motherboard with 16 MB RAM",
         {"For sale: 486DX2/66 VLB motherboard with 16 MB of RAM installed.",
          "Works perfectly, removed from a working system after an upgrade.",
          "Asking $150 shipped in the continental US, or best offer."}},
        {"FS: US Robotics Sportster 28.8 external modem",
         {"USR Sportster 28.8 external modem, with power supply and manual.",
          "Asking $90 plus shipping. Email if interested."}},
        {"WTB: SCSI CD-ROM drive",
         {"Wanted to buy: a SCSI CD-ROM drive, double speed or better.",
          "Must work with an Adaptec 1542 controller.", "Will pay up to $60 plus shipping."}}},
       {"Is the modem still available?", "Would you take $120 for the motherboard?",
        "Sold, thanks to everybody who answered."},
       8},
  };
  return kGroups;
}

// Cross-posts: threads of the first group also posted to the second.
const std::vector<std::pair<std::string, std::string>>& crossPostPairs() {
  static const std::vector<std::pair<std::string, std::string>> kPairs = {
      {"comp.os.linux.misc", "alt.folklore.computers"},
      {"misc.forsale.computers", "comp.os.linux.misc"},
      {"comp.lang.c++", "misc.jobs.offered"},
  };
  return kPairs;
}

std::string wrap(const std::string& text, std::size_t width = 70) {
  std::string out, line;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      out += line + "\n";
      line.clear();
    }
    if (!line.empty()) line += ' ';
    line += word;
    start = end + 1;
  }
  if (!line.empty()) out += line + "\n";
  return out;
}

std::string quote(const std::string& body) {
  std::string out;
  std::size_t start = 0;
  while (start < body.size()) {
    std::size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    const std::string line = body.substr(start, end - start);
    if (line == "-- ") break;  // signatures are not quoted
    out += line.empty() || line[0] == '>' ? ">" + line : "> " + line;
    out += '\n';
    start = end + 1;
  }
  while (out.size() >= 2 && out.compare(out.size() - 2, 2, ">\n") == 0) out.resize(out.size() - 2);
  return out;
}

std::string dateHeader(UnixTime time, Random& random) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  const CivilTime c = civilFromUnixTime(time);
  char text[80];
  switch (random.below(4)) {
    case 0:  // two-digit year, numeric zone: written as local time five hours behind
    {
      const CivilTime local = civilFromUnixTime(time - 5 * 3600);
      std::snprintf(text, sizeof text, "%d %s %02d %02d:%02d:%02d -0500", local.day,
                    kMonths[local.month - 1], local.year % 100, local.hour, local.minute,
                    local.second);
      break;
    }
    case 1: {
      const CivilTime local = civilFromUnixTime(time - 8 * 3600);
      std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d PST", kDays[local.weekday],
                    local.day, kMonths[local.month - 1], local.year, local.hour, local.minute,
                    local.second);
      break;
    }
    default:
      std::snprintf(text, sizeof text, "%s, %02d %s %d %02d:%02d:%02d GMT", kDays[c.weekday], c.day,
                    kMonths[c.month - 1], c.year, c.hour, c.minute, c.second);
  }
  return text;
}

struct Message {
  std::string messageId;
  std::string subject;
  const Person* author;
  std::string body;  // decoded text, UTF-8
  std::string references;
};

std::string bodyFor(const Group& group, const Topic& topic, Random& random, bool root) {
  std::string text;
  const bool fromTopic = root || group.replies.empty();
  const std::size_t available = fromTopic ? topic.sentences.size() : group.replies.size();
  const std::size_t count =
      1 + random.below(root ? available : std::min<std::size_t>(3, available));
  const std::size_t offset = random.below(available);
  for (std::size_t i = 0; i < count; ++i) {
    if (!text.empty()) text += ' ';
    const std::size_t at = (offset + i) % available;
    text += fromTopic ? topic.sentences[at] : group.replies[at];
  }
  std::string body = wrap(text);
  if (random.chance(15))
    body += "\nMore details are on my page: http://www.example.com/~" +
            std::to_string(random.below(900) + 100) + "/notes.html\n";
  if (random.chance(10)) body += "\nWrite to me at help-desk@support.example.com if you like.\n";
  return body;
}

// UTF-8 to Latin-1; characters beyond Latin-1 become "?".
std::string latin1Of(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
      const unsigned code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3Fu);
      out += code <= 0xFF ? static_cast<char>(code) : '?';
    } else {
      while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) ++i;
      out += '?';
    }
  }
  return out;
}

std::string quotedPrintable(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  std::size_t column = 0;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\n') {
      out += '\n';
      column = 0;
      continue;
    }
    std::string piece(1, ch);
    if (c >= 0x80 || c == '=') piece = std::string("=") + kHex[c >> 4] + kHex[c & 15];
    if (column + piece.size() > 73) {
      out += "=\n";
      column = 0;
    }
    out += piece;
    column += piece.size();
  }
  return out;
}

}  // namespace

std::vector<DemoArticle> generateDemoCorpus(std::uint64_t seed) {
  Random random(seed);
  const auto& allGroups = groups();
  const auto& allPeople = people();
  int totalWeight = 0;
  for (const Group& group : allGroups) totalWeight += group.weight;

  std::vector<DemoArticle> corpus;
  const UnixTime first = unixTimeFromCivil(1995, 1, 1);
  const UnixTime last = unixTimeFromCivil(1999, 12, 31);
  int thread = 0;
  while (corpus.size() < 2000) {
    ++thread;
    int ticket = static_cast<int>(random.below(static_cast<std::size_t>(totalWeight)));
    std::size_t index = 0;
    while (ticket >= allGroups[index].weight) ticket -= allGroups[index++].weight;
    const Group& group = allGroups[index];
    const Topic& topic = random.pick(group.topics);
    std::vector<std::string> newsgroups{group.name};
    for (const auto& [from, to] : crossPostPairs())
      if (from == group.name && random.chance(12)) newsgroups.push_back(to);
    const bool jobs = std::string(group.name) == "misc.jobs.offered";
    const bool forSale = std::string(group.name) == "misc.forsale.computers";

    std::vector<Message> messages;
    const std::size_t replies = jobs ? 0 : random.below(forSale ? 3 : 8);
    UnixTime time =
        first + static_cast<UnixTime>(random.below(static_cast<std::size_t>(last - first)));
    for (std::size_t k = 0; k <= replies; ++k) {
      Message message;
      message.author = jobs ? &allPeople[19] : &allPeople[random.below(allPeople.size() - 1)];
      message.messageId = "<demo." + std::to_string(thread) + "." + std::to_string(k) + "@" +
                          std::string(std::strchr(message.author->address, '@') + 1) + ">";
      message.subject = k == 0 ? topic.subject : std::string("Re: ") + topic.subject;
      std::string text;
      if (k > 0) {
        // Answer the root or a recent reply, quoting it (and what it quoted).
        const Message& parent =
            messages[k == 1 ? 0 : k - 1 - random.below(std::min<std::size_t>(k, 2))];
        message.references = parent.references.empty() ? parent.messageId
                                                       : parent.references + " " + parent.messageId;
        text = "In article " + parent.messageId + ", " + parent.author->name + " <" +
               parent.author->address + "> wrote:\n" + quote(parent.body) + "\n";
      }
      text += bodyFor(group, topic, random, k == 0);
      if (random.chance(70)) text += "\n-- \n" + std::string(message.author->signature) + "\n";
      message.body = text;
      messages.push_back(message);

      std::string headers = "From: " + std::string(message.author->from) + "\n";
      headers += "Newsgroups: ";
      for (std::size_t g = 0; g < newsgroups.size(); ++g) headers += (g ? "," : "") + newsgroups[g];
      headers += "\nSubject: " + message.subject + "\n";
      headers += "Date: " + dateHeader(time, random) + "\n";
      headers += "Message-ID: " + message.messageId + "\n";
      if (!message.references.empty()) headers += "References: " + message.references + "\n";
      headers += "Organization: Varnook demo corpus\nLines: " +
                 std::to_string(std::count(text.begin(), text.end(), '\n')) + "\n";

      std::string body = text;
      const bool german = message.author == &allPeople[4];
      const bool japanese = message.author == &allPeople[6];
      if (german) {
        // Latin-1 text sent quoted-printable, as German posters' software did.
        headers +=
            "MIME-Version: 1.0\nContent-Type: text/plain; charset=ISO-8859-1\n"
            "Content-Transfer-Encoding: quoted-printable\n";
        body =
            quotedPrintable(latin1Of("Gr\xC3\xBC\xC3\x9F"
                                     "e aus Stuttgart! Sch\xC3\xB6nes Wetter heute.\n" +
                                     text));
      } else if (japanese) {
        headers +=
            "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n"
            "Content-Transfer-Encoding: 8bit\n";
        body =
            "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF\xE3\x80\x82"
            "\xE5\xA4\xA9\xE4\xBD\x93\xE8\xA6\xB3\xE6\xB8\xAC\xE3\x81\x8C\xE5\xA5\xBD\xE3"
            "\x81\x8D\xE3\x81\xA7\xE3\x81\x99\xE3\x80\x82\n" +
            text;
      } else if (std::any_of(text.begin(), text.end(), [](char c) { return c & 0x80; })) {
        headers +=
            "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n"
            "Content-Transfer-Encoding: 8bit\n";
      }
      corpus.push_back(DemoArticle{newsgroups, headers + "\n" + body});
      time += 600 + static_cast<UnixTime>(random.below(3 * 86400));
    }
  }
  return corpus;
}

long writeDemoSpool(const std::string& folder, std::string& error) {
  namespace fs = std::filesystem;
  std::map<std::string, unsigned> numbers;
  long count = 0;
  for (const DemoArticle& article : generateDemoCorpus()) {
    ++count;
    for (const std::string& group : article.groups) {
      const fs::path directory = fs::path(folder) / group;
      std::error_code code;
      fs::create_directories(directory, code);
      const fs::path file = directory / std::to_string(++numbers[group]);
      std::ofstream out(file, std::ios::binary | std::ios::trunc);
      out << article.text;
      if (!out) {
        error = file.string() + ": cannot be written";
        return -1;
      }
    }
  }
  return count;
}

}  // namespace varnook::server
