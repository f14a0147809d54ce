#include "server/archiveindex.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <fstream>
#include <future>
#include <limits>
#include <map>
#include <sstream>

#include "base/decimal.h"
#include "server/documentbuilder.h"
#include "server/indexschema.h"
#include "server/indexstore.h"
#include "server/querycompiler.h"
#include "server/threads.h"

namespace varnook::server {
namespace {

using Clock = std::chrono::steady_clock;

// Result counts are exact up to this many matches, estimated beyond: a common word in a
// large archive does not walk all its postings for the count. A phrase checks the
// positions of every candidate it counts, which costs ten times as much.
constexpr Xapian::doccount kExactCountLimit = 10000;
constexpr Xapian::doccount kExactPhraseCountLimit = 1000;
constexpr Xapian::doccount kProfileLimit = 100000;
constexpr Xapian::doccount kProfileSlice = 1000;
constexpr double kUnixEpochDay = 25569.0;  // 1970-01-01 as a day count

UnixTime dayStart(DayDate day) {
  return static_cast<UnixTime>((std::floor(day) - kUnixEpochDay) * 86400.0);
}

// `dateTerms`: every article of the database has date terms.
std::optional<Xapian::Query> dateRange(const Xapian::Database& database, bool dateTerms,
                                       const QueryFields& fields, DayDate now) {
  auto resolve = [&](DayDate date) { return date < 0 ? now + date : date; };
  std::optional<UnixTime> from, to;
  if (fields.fromDate != 0) from = dayStart(resolve(fields.fromDate));
  if (fields.toDate != 0) to = dayStart(resolve(fields.toDate)) + 86399;
  if (!from && !to) return std::nullopt;
  using Q = Xapian::Query;
  if (dateTerms) {
    // An open end is the oldest or newest article's day.
    const auto bound = [&](const std::optional<UnixTime>& given, const std::string& value) {
      return schema::dayOf(given ? *given : schema::dateOfValue(value));
    };
    const std::optional<std::vector<std::string>> terms =
        schema::dateRangeTerms(bound(from, database.get_value_lower_bound(schema::kDateSlot)),
                               bound(to, database.get_value_upper_bound(schema::kDateSlot)));
    if (terms) return Q(Q::OP_OR, terms->begin(), terms->end());
  }
  if (from && to)
    return Q(Q::OP_VALUE_RANGE, schema::kDateSlot, schema::dateFloor(*from),
             schema::dateCeiling(*to));
  if (from) return Q(Q::OP_VALUE_GE, schema::kDateSlot, schema::dateFloor(*from));
  return Q(Q::OP_VALUE_LE, schema::kDateSlot, schema::dateCeiling(*to));
}

Xapian::Query applyArchive(Xapian::Query query, std::int32_t archive) {
  using Q = Xapian::Query;
  switch (archive) {
    case static_cast<int>(Archive::Complete):
      return query;
    case static_cast<int>(Archive::Adult):
    case static_cast<int>(Archive::Jobs):
    case static_cast<int>(Archive::ForSale):
      return Q(Q::OP_FILTER, query, Q(schema::archiveTerm(static_cast<Archive>(archive))));
    default:  // standard, also when absent or unknown
      return Q(Q::OP_AND_NOT, query, Q(schema::archiveTerm(Archive::Adult)));
  }
}

std::optional<StoredArticle> record(const Xapian::Document& document) {
  return StoredArticle::deserialize(document.get_data());
}

// "" when the index is of the format this program reads, else why it cannot be read.
std::string formatProblem(const Xapian::Database& database, const std::string& path) {
  const std::string format = database.get_metadata(schema::kFormatKey);
  if (format == schema::kFormatVersion || database.get_doccount() == 0) return {};
  return path + " was made by an older varnook-archive (index format " +
         (format.empty() ? std::string("1") : format) + ", this one reads " +
         schema::kFormatVersion + "): " + schema::kReindexAdvice;
}

// The listing fields alone, without reading (and decompressing) the stored article.
std::optional<StoredArticle> summary(const Xapian::Document& document) {
  return StoredArticle::deserialize(document.get_value(schema::kSummarySlot));
}

std::optional<StoredArticle> summaryOf(const Xapian::Database& database, std::uint32_t number) {
  const std::string term = schema::numberTerm(number);
  const Xapian::PostingIterator posting = database.postlist_begin(term);
  if (posting == database.postlist_end(term)) return std::nullopt;
  return summary(database.get_document(*posting));
}

// A thread's articles in the archive asked for, in tree order: the other fields are not
// searched.
SearchOutcome threadSearch(const Xapian::Database& database, const SearchParameters& parameters) {
  SearchOutcome outcome;
  outcome.threadOrder = true;
  std::vector<ThreadMember> members = threadOf(database, parameters.fields.thread);
  std::erase_if(members,
                [&](const ThreadMember& m) { return !inArchive(m, parameters.fields.archive); });
  outcome.total = members.size();
  for (std::size_t i = parameters.start;
       i < members.size() && outcome.hits.size() < parameters.maxHits; ++i)
    if (auto article = summaryOf(database, members[i].number))
      outcome.hits.push_back(std::move(*article));
  return outcome;
}

// The databases a stub file lists, each opened on its own; nothing for an index folder,
// or a stub with lines other than "remote HOST:PORT" and folder names.
std::vector<Xapian::Database> openStubParts(const std::string& path) {
  std::error_code code;
  if (!std::filesystem::is_regular_file(path, code)) return {};
  std::ifstream stub(path);
  std::vector<Xapian::Database> parts;
  // Xapian has read the stub already: a line it takes but this does not (another form
  // of address, say) leaves the pages to the stub's own one-by-one fetches.
  try {
    for (std::string line; std::getline(stub, line);) {
      std::istringstream words(line);
      std::string kind, where;
      if (!(words >> kind) || kind[0] == '#') continue;
      if (!(words >> where)) where = kind;
      const std::size_t colon = where.rfind(':');
      if (kind == "remote" && colon != std::string::npos && colon > 0) {
        const std::string host = where.substr(0, colon);
        const std::optional<unsigned> port = parseDecimal<unsigned>(where.substr(colon + 1));
        if (!port || *port > 65535) return {};
        parts.push_back(Xapian::Remote::open(host, *port));
      } else if (kind != "remote") {
        const std::filesystem::path folder(where);
        parts.emplace_back(folder.is_absolute()
                               ? where
                               : (std::filesystem::path(path).parent_path() / folder).string());
      } else {
        return {};
      }
    }
  } catch (const Xapian::Error&) {
    return {};
  }
  return parts;
}

}  // namespace

struct ArchiveIndex::Handle {
  Xapian::Database database;
  // The same databases one by one when `database` is a stub of several: a page's
  // documents are fetched from all of them at once, since each fetch from a remote
  // shard is a round trip.
  std::vector<Xapian::Database> parts;
  TextIndexer indexer;
  Clock::time_point checked;
  std::optional<std::pair<long long, unsigned long>> stub;
  bool broken = false;

  // Every article has date terms: each database of a stub must say so, since an index
  // begun by an older program answers ranges from its date values only.
  bool dateTerms = false;

  void reopen() {
    database.reopen();
    for (Xapian::Database& part : parts) part.reopen();
    readDateTerms();
  }

  // Asked again only while the answer is no (an index that was empty gets them with its
  // first generation); every later generation copies the metadata of the one before.
  void readDateTerms() {
    if (dateTerms) return;
    const auto hasDateTerms = [](const Xapian::Database& db) {
      return db.get_metadata(schema::kDateTermsKey) == "1";
    };
    dateTerms = parts.empty() ? database.size() == 1 && hasDateTerms(database)
                              : std::all_of(parts.begin(), parts.end(), hasDateTerms);
  }

  // The result list entries of the hits from `first` on (at most `limit` of them),
  // fetched from the stub's parts side by side.
  std::vector<std::optional<StoredArticle>> summaries(
      const Xapian::MSet& mset, Xapian::doccount first = 0,
      Xapian::doccount limit = std::numeric_limits<Xapian::doccount>::max()) {
    first = std::min(first, mset.size());
    const Xapian::doccount end = first + std::min(limit, mset.size() - first);
    std::vector<std::optional<StoredArticle>> entries;
    const std::size_t count = parts.size();
    if (count < 2 || database.size() != count) {
      for (Xapian::doccount at = first; at < end; ++at)
        entries.push_back(summary(mset[at].get_document()));
      return entries;
    }
    entries.resize(end - first);
    // A stub's document ids take turns between its databases.
    std::vector<std::vector<std::pair<std::size_t, Xapian::docid>>> wanted(count);
    for (Xapian::doccount at = first; at < end; ++at) {
      const Xapian::docid id = *mset[at];
      wanted[(id - 1) % count].emplace_back(at - first, (id - 1) / count + 1);
    }
    std::vector<std::future<void>> fetches;
    for (std::size_t part = 0; part < count; ++part) {
      if (wanted[part].empty()) continue;
      fetches.push_back(std::async(std::launch::async, [&, part] {
        for (const auto& [at, id] : wanted[part])
          entries[at] = summary(parts[part].get_document(id));
      }));
    }
    for (std::future<void>& fetch : fetches) fetch.get();
    return entries;
  }
};

// Borrows a handle for one call and gives it back, unless the call failed on it.
class ArchiveIndex::Lease {
 public:
  explicit Lease(ArchiveIndex& index) : index_(index), handle_(index.acquire()) {}
  ~Lease() {
    if (std::uncaught_exceptions() == 0 && !handle_->broken) index_.release(std::move(handle_));
  }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;
  Handle& operator*() { return *handle_; }
  Handle* operator->() { return handle_.get(); }

  // Runs `work`; when the index changed underneath, reopens once and runs it again.
  template <typename Work>
  auto run(Work&& work) {
    try {
      return work(*handle_);
    } catch (const Xapian::DatabaseModifiedError&) {
      handle_->reopen();
      return work(*handle_);
    }
  }

 private:
  ArchiveIndex& index_;
  std::unique_ptr<Handle> handle_;
};

ArchiveIndex::ArchiveIndex(std::string path) : path_(std::move(path)) {}
ArchiveIndex::~ArchiveIndex() = default;

std::unique_ptr<ArchiveIndex> ArchiveIndex::open(const std::string& path, std::string& error) {
  std::unique_ptr<ArchiveIndex> index(new ArchiveIndex(path));
  try {
    std::unique_ptr<Handle> handle = index->openHandle();
    error = formatProblem(handle->database, path);
    if (!error.empty()) return nullptr;
    index->release(std::move(handle));
  } catch (const Xapian::DatabaseNotFoundError&) {
    std::error_code code;
    error = std::filesystem::exists(path, code)
                ? path + " is not an archive index (no index was found there)"
                : path + ": no such folder or file";
    return nullptr;
  } catch (const Xapian::Error& e) {
    error = path + ": " + e.get_description();
    return nullptr;
  }
  return index;
}

std::optional<std::pair<long long, unsigned long>> ArchiveIndex::stubState() const {
  struct stat info {};
  std::string stubPath = path_;
  if (::stat(path_.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) stubPath += "/XAPIANDB";
  if (::stat(stubPath.c_str(), &info) != 0) return std::nullopt;
  return std::make_pair(
      static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec,
      static_cast<unsigned long>(info.st_ino));
}

std::unique_ptr<ArchiveIndex::Handle> ArchiveIndex::openHandle() {
  auto handle = std::make_unique<Handle>();
  handle->stub = stubState();
  handle->database = Xapian::Database(path_);
  if (handle->database.size() > 1) handle->parts = openStubParts(path_);
  handle->readDateTerms();
  handle->checked = Clock::now();
  return handle;
}

std::unique_ptr<ArchiveIndex::Handle> ArchiveIndex::acquire() {
  std::unique_ptr<Handle> handle;
  {
    std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      handle = std::move(idle_.back());
      idle_.pop_back();
    }
  }
  if (!handle) return openHandle();
  if (Clock::now() - handle->checked > std::chrono::seconds(1)) {
    // A new generation is published by replacing the stub: open it afresh.
    if (stubState() != handle->stub) return openHandle();
    handle->reopen();
    handle->checked = Clock::now();
  }
  return handle;
}

void ArchiveIndex::release(std::unique_ptr<Handle> handle) {
  std::lock_guard lock(mutex_);
  idle_.push_back(std::move(handle));
}

SearchOutcome ArchiveIndex::search(const SearchParameters& parameters) {
  Lease lease(*this);
  return lease.run([&](Handle& handle) {
    if (parameters.fields.thread != 0) return threadSearch(handle.database, parameters);
    SearchOutcome outcome;
    const QueryFields& fields = parameters.fields;
    ParsedQuery parsed = parseQueryText(fields.keywords, fields.matchAll);
    // A restriction the parser refuses is an error too: dropped, it would match everything.
    for (std::string_view restriction : {fields.subject, fields.author})
      if (parsed.error.empty()) parsed.error = parseQueryText(restriction, true).error;
    if (!parsed.error.empty()) {
      outcome.error = parsed.error;
      return outcome;
    }
    const Xapian::Stem stemmer = stemmerFor(fields.language);
    QueryCompiler compiler(handle.database, stemmer, handle.indexer);
    std::optional<Xapian::Query> text;
    if (parsed.root) text = compiler.keywords(*parsed.root);
    Xapian::Query query = text ? *text : matchAll();
    const DayDate now = parameters.now != 0 ? parameters.now : nowLocal();
    for (auto filter :
         {compiler.subjects(fields.subject), compiler.authors(fields.author),
          compiler.groups(fields.forum), dateRange(handle.database, handle.dateTerms, fields, now)})
      if (filter) query = Xapian::Query(Xapian::Query::OP_FILTER, query, *filter);
    query = applyArchive(query, fields.archive);

    Xapian::Enquire enquire(handle.database);
    enquire.set_query(query);
    outcome.newestFirst = parameters.newestFirst || !compiler.hasRankedWords();
    if (outcome.newestFirst) {
      // The date value carries the number, so it never ties: weights would decide
      // nothing, and computing them for every match is most of a date sort's cost.
      enquire.set_sort_by_value(schema::kDateSlot, true);
      enquire.set_weighting_scheme(Xapian::BoolWeight());
    } else {
      enquire.set_sort_by_relevance_then_value(schema::kDateSlot, true);
    }
    enquire.set_docid_order(Xapian::Enquire::DESCENDING);

    // The bounds Xapian knows before walking the matches often settle the count (exact
    // already, as for one word, or surely beyond the limit); otherwise the page's own
    // walk counts up to the limit, so the matches are never walked twice.
    const Xapian::doccount limit = compiler.hasPhrase() ? kExactPhraseCountLimit : kExactCountLimit;
    const Xapian::MSet bounds = enquire.get_mset(0, 0);
    const bool settled = bounds.get_matches_lower_bound() == bounds.get_matches_upper_bound() ||
                         bounds.get_matches_lower_bound() > limit;
    const Xapian::MSet mset =
        enquire.get_mset(parameters.start, parameters.maxHits,
                         settled ? 0 : std::max(limit, parameters.start + parameters.maxHits));
    outcome.total = mset.get_matches_estimated();
    outcome.exact = mset.get_matches_lower_bound() == mset.get_matches_upper_bound();
    for (std::optional<StoredArticle>& article : handle.summaries(mset))
      if (article) outcome.hits.push_back(std::move(*article));
    return outcome;
  });
}

std::optional<StoredArticle> ArchiveIndex::article(std::uint32_t number) {
  if (number == 0) return std::nullopt;
  Lease lease(*this);
  return lease.run([&](Handle& handle) -> std::optional<StoredArticle> {
    const std::string term = schema::numberTerm(number);
    auto posting = handle.database.postlist_begin(term);
    if (posting == handle.database.postlist_end(term)) return std::nullopt;
    return record(handle.database.get_document(*posting));
  });
}

AuthorProfile ArchiveIndex::profile(std::string_view author, std::size_t latestCount) {
  Lease lease(*this);
  return lease.run([&](Handle& handle) {
    AuthorProfile profile;
    profile.author = std::string(author);
    profile.address = authorAddress(author);
    std::optional<Xapian::Query> query;
    if (!profile.address.empty()) {
      query = Xapian::Query(schema::addressTerm(profile.address));
    } else {
      const Xapian::Stem stemmer = stemmerFor({});
      QueryCompiler compiler(handle.database, stemmer, handle.indexer);
      query = compiler.authors(author);
    }
    if (!query) return profile;
    Xapian::Enquire enquire(handle.database);
    enquire.set_query(*query);
    enquire.set_sort_by_value(schema::kDateSlot, true);
    enquire.set_weighting_scheme(Xapian::BoolWeight());
    const Xapian::MSet mset = enquire.get_mset(0, kProfileLimit);
    std::map<std::string, std::uint64_t> perGroup;
    // In slices: fetched side by side from a stub's shards, without holding a prolific
    // author's whole history at once.
    for (Xapian::doccount at = 0; at < mset.size(); at += kProfileSlice)
      for (std::optional<StoredArticle>& article : handle.summaries(mset, at, kProfileSlice)) {
        if (!article) continue;
        ++profile.articles;
        for (const std::string& group : article->groups) ++perGroup[group];
        const UnixTime date = article->date;
        if (date != kUnknownDate) {
          if (profile.first == kUnknownDate || date < profile.first) profile.first = date;
          if (profile.last == kUnknownDate || date > profile.last) profile.last = date;
        }
        if (profile.latest.size() < latestCount) profile.latest.push_back(std::move(*article));
      }
    profile.groups.assign(perGroup.begin(), perGroup.end());
    std::stable_sort(profile.groups.begin(), profile.groups.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return profile;
  });
}

IndexStatistics ArchiveIndex::statistics() {
  Lease lease(*this);
  return lease.run([&](Handle& handle) {
    IndexStatistics stats;
    const Xapian::Database& database = handle.database;
    stats.articles = database.get_doccount();
    stats.nextNumber = storedNextNumber(database);
    if (stats.articles > 0) {
      const std::string low = database.get_value_lower_bound(schema::kDateSlot);
      const std::string high = database.get_value_upper_bound(schema::kDateSlot);
      if (!low.empty()) stats.first = schema::dateOfValue(low);
      if (!high.empty()) stats.last = schema::dateOfValue(high);
    }
    const std::string prefix(schema::kGroupPrefix);
    for (auto it = database.allterms_begin(prefix); it != database.allterms_end(prefix); ++it)
      stats.groups.emplace_back((*it).substr(prefix.size()), it.get_termfreq());
    for (auto [archive, name] :
         {std::pair{Archive::Adult, "adult"}, std::pair{Archive::Jobs, "jobs"},
          std::pair{Archive::ForSale, "for sale"}})
      stats.archives.emplace_back(name, database.get_termfreq(schema::archiveTerm(archive)));
    const ThreadCounts threads = threadCounts(database);
    stats.threads = threads.threads;
    stats.largestThread = threads.largest;
    stats.largestThreadNumber = threads.largestThread;
    return stats;
  });
}

ThreadListing ArchiveIndex::thread(std::uint32_t number, std::size_t limit) {
  Lease lease(*this);
  return lease.run([&](Handle& handle) {
    ThreadListing listing;
    const std::vector<ThreadMember> members = threadOf(handle.database, number);
    listing.total = members.size();
    for (std::size_t i = 0; i < members.size() && listing.entries.size() < limit; ++i)
      if (auto article = summaryOf(handle.database, members[i].number))
        listing.entries.push_back({std::move(*article), members[i].depth});
    return listing;
  });
}

std::uint64_t ArchiveIndex::threadSize(std::uint32_t number) {
  Lease lease(*this);
  return lease.run([&](Handle& handle) { return server::threadSize(handle.database, number); });
}

std::vector<std::pair<std::string, std::uint32_t>> ArchiveIndex::articlesByMessageId(
    const std::vector<std::string>& messageIds) {
  Lease lease(*this);
  return lease.run([&](Handle& handle) {
    std::vector<std::pair<std::string, std::uint32_t>> found;
    for (const std::string& id : messageIds) {
      const std::string term = schema::messageIdTerm(id);
      const Xapian::PostingIterator posting = handle.database.postlist_begin(term);
      if (posting == handle.database.postlist_end(term)) continue;
      if (auto article = summary(handle.database.get_document(*posting)))
        found.emplace_back(id, article->number);
    }
    return found;
  });
}

}  // namespace varnook::server
