#include "catalogue/catalogue_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <shared_mutex>

#include "base/case_fold.h"
#include "base/file_handle.h"
#include "base/path.h"

namespace glimpses {
namespace {

// "GlmC" in the header's application id: tells our file from any other
// SQLite database before anything in it is read or replaced.
constexpr std::int32_t kApplicationId = 0x476C6D43;
// The schema's version; a file of another one is made anew (or refused).
constexpr std::int32_t kSchemaVersion = 1;
// Ids beyond this come from a file no catalogue of ours wrote: a query
// keeps a bit per id, so they are never trusted.
constexpr std::int64_t kMaxId = std::int64_t{1} << 26;
// What one document may add, whatever it claims to hold.
constexpr std::size_t kMaxTextsPerField = 256;
constexpr std::size_t kMaxTextBytes = 512;

// Every table but the full-text one, whose trigram index answers substring
// and wildcard patterns. '@' stands for the schema's name.
constexpr const char* kSchema[] = {
    "CREATE TABLE @.documents("
    " id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE,"
    " size INTEGER NOT NULL, mtime_ns INTEGER NOT NULL, inode INTEGER NOT NULL,"
    " readable INTEGER NOT NULL, kind INTEGER, application TEXT, version TEXT, creator_tool TEXT, producer TEXT,"
    " pages INTEGER, has_thumbnail INTEGER NOT NULL,"
    " terms BLOB)",  // its texts' ids, so that its links can be undone
    "CREATE TABLE @.terms(id INTEGER PRIMARY KEY, field INTEGER NOT NULL, text TEXT NOT NULL, UNIQUE(field, text))",
    "CREATE VIRTUAL TABLE @.terms_text USING fts5(text, field UNINDEXED, content='terms', content_rowid='id',"
    " tokenize='trigram case_sensitive 1')",
    // The documents holding a text, a row per 1024 ids: a text found in half
    // of a hundred thousand documents is read in a hundred rows.
    "CREATE TABLE @.postings(term INTEGER NOT NULL, chunk INTEGER NOT NULL, docs BLOB NOT NULL,"
    " PRIMARY KEY(term, chunk)) WITHOUT ROWID",
};

std::string InSchema(std::string_view sql, std::string_view schema) {
  std::string out;
  for (const char c : sql) {
    if (c == '@') {
      out += schema;
    } else {
      out += c;
    }
  }
  return out;
}

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

// A prepared statement, reset for its next use whenever it is taken.
class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v3(db, sql.c_str(), -1, 0, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return stmt_ != nullptr; }
  Statement& Start() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    return *this;
  }
  Statement& Bind(int at, std::int64_t value) {
    sqlite3_bind_int64(stmt_, at, value);
    return *this;
  }
  Statement& Bind(int at, std::string_view text) {
    sqlite3_bind_text(stmt_, at, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    return *this;
  }
  Statement& BindBlob(int at, std::string_view bytes) {
    sqlite3_bind_blob(stmt_, at, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
    return *this;
  }
  Statement& BindNull(int at) {
    sqlite3_bind_null(stmt_, at);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return stmt_ != nullptr ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  bool Run() { return Step() == SQLITE_DONE; }
  std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  bool IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
  std::string Text(int column) const {
    const void* data = sqlite3_column_blob(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    return data != nullptr ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))
                           : std::string();
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

bool Exec(sqlite3* db, const std::string& sql) {
  return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::optional<std::int64_t> PragmaInt(sqlite3* db, const std::string& pragma) {
  Statement statement(db, pragma);
  if (!statement.ok() || statement.Step() != SQLITE_ROW) return std::nullopt;
  return statement.Int(0);
}

// What a look at a catalogue file found.
struct Verdict {
  enum Kind {
    kUsable,
    kEmpty,        // just made: its schema is to be made
    kUnusable,     // damaged, of another version or no catalogue: never trusted
    kUnavailable,  // it could not be looked at (a full disk, no rights): left alone
  };
  Kind kind;
  std::string reason;
};

// Why the last call on `db` failed: its content, or getting at it.
Verdict FailureOf(sqlite3* db) {
  const int code = sqlite3_errcode(db) & 0xFF;
  if (code == SQLITE_NOTADB) return {Verdict::kUnusable, "not a catalogue"};
  if (code == SQLITE_CORRUPT) return {Verdict::kUnusable, "damaged"};
  return {Verdict::kUnavailable, sqlite3_errmsg(db)};
}

Verdict Examine(sqlite3* db, const std::string& schema) {
  const std::string prefix = "PRAGMA " + schema + ".";
  const std::optional<std::int64_t> pages = PragmaInt(db, prefix + "page_count");
  if (!pages) return FailureOf(db);
  if (*pages == 0) return {Verdict::kEmpty, {}};
  const std::optional<std::int64_t> id = PragmaInt(db, prefix + "application_id");
  if (!id) return FailureOf(db);
  if (*id != kApplicationId) return {Verdict::kUnusable, "not a catalogue"};
  const std::optional<std::int64_t> version = PragmaInt(db, prefix + "user_version");
  if (!version) return FailureOf(db);
  if (*version != kSchemaVersion) return {Verdict::kUnusable, "a catalogue of another version"};
  Statement check(db, prefix + "quick_check");
  if (!check.ok() || check.Step() != SQLITE_ROW) return FailureOf(db);
  if (check.Text(0) != "ok") return {Verdict::kUnusable, "damaged"};
  return {Verdict::kUsable, {}};
}

bool MakeSchema(sqlite3* db, const std::string& schema) {
  if (!Exec(db, "BEGIN")) return false;
  bool ok = true;
  for (const char* sql : kSchema) ok = ok && Exec(db, InSchema(sql, schema));
  ok = ok && Exec(db, "PRAGMA " + schema + ".application_id = " + std::to_string(kApplicationId)) &&
       Exec(db, "PRAGMA " + schema + ".user_version = " + std::to_string(kSchemaVersion));
  if (ok && Exec(db, "COMMIT")) return true;
  Exec(db, "ROLLBACK");
  return false;
}

// True when the first bytes of `path` are SQLite's header with another
// program's application id (or no SQLite file at all): a file the user
// named that a build must never replace.
bool IsForeignFile(const std::string& path) {
  std::array<unsigned char, 72> header{};
  UniqueFd fd = UniqueFd::Open(path, O_RDONLY);
  if (!fd) return false;
  const ssize_t got = ::read(fd.get(), header.data(), header.size());
  if (got <= 0) return false;  // empty: nothing to lose
  if (got < static_cast<ssize_t>(header.size()) || std::memcmp(header.data(), "SQLite format 3", 16) != 0) return true;
  const std::int32_t id = static_cast<std::int32_t>(header[68] << 24 | header[69] << 16 | header[70] << 8 | header[71]);
  return id != kApplicationId && id != 0;
}

// `path` as an SQLite URI: every byte that could mean something else there
// is %-escaped.
std::string FileUri(const std::string& path, const char* query) {
  std::string uri = "file:";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '/' || c == '.' || c == '_' || c == '-') {
      uri += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      uri += escaped;
    }
  }
  return uri + query;
}

void RemoveDatabase(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) ::unlink((path + suffix).c_str());
}

// Every connection is used under a mutex of ours: SQLite's own, taken at
// every call, would only cost time (a tenth of a large query's).
Db OpenFile(const std::string& path, int flags, std::string* error) {
  sqlite3* raw = nullptr;
  const int result = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  Db db(raw);
  if (result != SQLITE_OK) {
    *error = raw != nullptr ? sqlite3_errmsg(raw) : "out of memory";
    return nullptr;
  }
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, 5000);
  // The pages a query reads stay for the next one (16 MiB at most).
  Exec(raw, "PRAGMA cache_size = -16384");
  return db;
}

// The texts a document is found by, case-folded, each once, within bounds.
std::vector<std::pair<MetadataField, std::string>> TextsOf(const DocumentMetadata& metadata) {
  std::vector<std::pair<MetadataField, std::string>> texts;
  auto add = [&](MetadataField field, std::string_view text) {
    if (text.empty() || text.size() > kMaxTextBytes) return;
    const auto count = std::count_if(texts.begin(), texts.end(), [&](const auto& item) { return item.first == field; });
    if (static_cast<std::size_t>(count) >= kMaxTextsPerField) return;
    std::pair<MetadataField, std::string> item{field, FoldCase(text)};
    if (std::find(texts.begin(), texts.end(), item) == texts.end()) texts.push_back(std::move(item));
  };
  for (const DocumentFont& font : metadata.fonts) {
    add(MetadataField::kFont, font.name);
    add(MetadataField::kFont, font.family);
  }
  std::string made = metadata.application;
  if (!made.empty() && !metadata.version.empty()) made += ' ';
  add(MetadataField::kCreator, made + metadata.version);
  add(MetadataField::kCreator, metadata.creatorTool);
  add(MetadataField::kTitle, metadata.title);
  for (const std::string& author : metadata.authors) add(MetadataField::kAuthor, author);
  for (const std::string& swatch : metadata.swatches) add(MetadataField::kSwatch, swatch);
  for (const std::string& plate : metadata.plates) add(MetadataField::kPlate, plate);
  // A placed file is looked for by its name: its folder, often that of
  // another machine, says little.
  for (const PlacedFile& link : metadata.links) {
    const std::size_t slash = link.path.find_last_of("/\\:");
    add(MetadataField::kLink, slash == std::string::npos ? link.path : link.path.substr(slash + 1));
  }
  return texts;
}

// Term ids as stored in a row: little-endian base-128 numbers.
std::string EncodeIds(const std::vector<std::int64_t>& ids) {
  std::string bytes;
  for (std::uint64_t id : ids) {
    do {
      bytes += static_cast<char>((id & 0x7F) | (id > 0x7F ? 0x80 : 0));
      id >>= 7;
    } while (id != 0);
  }
  return bytes;
}

std::vector<std::int64_t> DecodeIds(std::string_view bytes) {
  std::vector<std::int64_t> ids;
  std::uint64_t id = 0;
  int shift = 0;
  for (const char c : bytes) {
    if (shift > 56) return ids;  // no id of ours is that long
    id |= static_cast<std::uint64_t>(c & 0x7F) << shift;
    shift += 7;
    if ((c & 0x80) != 0) continue;
    ids.push_back(static_cast<std::int64_t>(id));
    id = 0;
    shift = 0;
  }
  return ids;
}

// Document ids in postings: a chunk of kChunkIds, and the ids' places in
// it as sorted little-endian 16-bit numbers.
constexpr std::int64_t kChunkIds = 1024;

std::vector<std::uint16_t> DecodePlaces(std::string_view bytes) {
  std::vector<std::uint16_t> places;
  places.reserve(bytes.size() / 2);
  for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
    const auto place = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                                  static_cast<unsigned char>(bytes[at + 1]) << 8);
    if (place < kChunkIds) places.push_back(place);
  }
  return places;
}

std::string EncodePlaces(const std::vector<std::uint16_t>& places) {
  std::string bytes;
  bytes.reserve(places.size() * 2);
  for (const std::uint16_t place : places) {
    bytes += static_cast<char>(place & 0xFF);
    bytes += static_cast<char>(place >> 8);
  }
  return bytes;
}

// The GLOB pattern of a folded metadata pattern: substring, or whole text
// with wildcards; '[' and the wildcards it does not mean are escaped.
std::string GlobOf(std::string_view pattern) {
  const bool wild = pattern.find_first_of("*?") != std::string_view::npos;
  std::string glob = wild ? "" : "*";
  for (const char c : pattern) {
    if (c == '[' || (!wild && (c == '*' || c == '?'))) {
      glob += '[';
      glob += c;
      glob += ']';
    } else {
      glob += c;
    }
  }
  if (!wild) glob += '*';
  return glob;
}

// Paths are known in memory by their hash alone; never 0, which marks an
// empty slot.
std::uint64_t KeyOf(std::string_view path) { return std::max<std::uint64_t>(std::hash<std::string_view>()(path), 1); }

// What memory holds of the stored documents, by KeyOf their paths. Open
// addressing, probed linearly, a key and its document packed in 16 bytes:
// a query looks up every entry it meets, and a lookup here costs one cache
// line where a node-based map costs three.
class DocumentTable {
 public:
  std::optional<CataloguedDocument> Find(std::uint64_t key) const {
    if (slots_.empty()) return std::nullopt;
    for (std::size_t at = key & Mask();; at = (at + 1) & Mask()) {
      const Slot& slot = slots_[at];
      if (slot.key == key) return CataloguedDocument{slot.id & kIdBits, slot.pages, (slot.id & kThumbnailBit) != 0};
      if (slot.key == 0) return std::nullopt;
    }
  }

  void Put(std::uint64_t key, const CataloguedDocument& document) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    std::size_t at = key & Mask();
    while (slots_[at].key != 0 && slots_[at].key != key) at = (at + 1) & Mask();
    if (slots_[at].key == 0) ++count_;
    const auto pages = static_cast<std::int32_t>(std::clamp<std::int64_t>(document.pages, -1, INT32_MAX));
    slots_[at] = Slot{key, document.id | (document.hasThumbnail ? kThumbnailBit : 0), pages};
  }

  // Backward-shift deletion: the slots after it that probed past it move
  // up, so no lookup ever stops short at a hole.
  void Erase(std::uint64_t key) {
    if (slots_.empty()) return;
    std::size_t hole = key & Mask();
    while (slots_[hole].key != key) {
      if (slots_[hole].key == 0) return;
      hole = (hole + 1) & Mask();
    }
    for (std::size_t at = (hole + 1) & Mask(); slots_[at].key != 0; at = (at + 1) & Mask()) {
      const std::size_t home = slots_[at].key & Mask();
      const bool staysPut = hole < at ? hole < home && home <= at : hole < home || home <= at;
      if (staysPut) continue;
      slots_[hole] = slots_[at];
      hole = at;
    }
    slots_[hole].key = 0;
    --count_;
  }

  std::size_t size() const { return count_; }

 private:
  static constexpr std::uint32_t kThumbnailBit = 1u << 31;
  static constexpr std::uint32_t kIdBits = kThumbnailBit - 1;
  struct Slot {
    std::uint64_t key;
    std::uint32_t id;  // with kThumbnailBit
    std::int32_t pages;
  };

  std::size_t Mask() const { return slots_.size() - 1; }
  void Grow() {
    std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(std::max<std::size_t>(64, slots_.size() * 2)));
    count_ = 0;
    for (const Slot& slot : old) {
      if (slot.key != 0)
        Put(slot.key, CataloguedDocument{slot.id & kIdBits, slot.pages, (slot.id & kThumbnailBit) != 0});
    }
  }

  std::vector<Slot> slots_;  // a power of two of them, at most half used
  std::size_t count_ = 0;
};

}  // namespace

std::optional<FileStamp> StampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return FileStamp{static_cast<std::int64_t>(st.st_size),
                   static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
                   static_cast<std::uint64_t>(st.st_ino)};
}

std::string OwnCataloguePath(const std::string& cacheDir) { return JoinPath(cacheDir, "catalogue.sqlite"); }

struct CatalogueStore::Impl {
  CatalogueMode mode = CatalogueMode::kOwn;
  std::string path;
  Db writer;
  Db readerOwn;                              // a second connection where the file allows one (WAL)
  sqlite3* reader;                           // readerOwn, or the writer itself
  std::string target = "main";               // where writes go
  std::vector<std::string> schemas{"main"};  // where reads look, the newer last
  bool explicitIds = false;                  // ids are given, not left to SQLite
  std::mutex writeMutex;
  std::mutex readOwnMutex;
  std::mutex* readMutex = &writeMutex;
  std::int64_t nextId = 0;

  mutable std::shared_mutex memoryMutex;
  DocumentTable documents;

  bool OpenReadOnly(std::string* error);
  bool OpenWritable(std::string* error);
  // Reads every row into memory anew, and their stamps when asked.
  bool Load(std::vector<std::pair<std::string, FileStamp>>* stamps, std::string* error);
  // Term ids already looked up during one write.
  using TermCache = std::map<std::pair<int, std::string>, std::int64_t>;
  // What one write changes in the postings, by term and chunk: written
  // once each at its end.
  struct PlaceChanges {
    std::vector<std::uint16_t> removed;
    std::vector<std::uint16_t> added;
  };
  std::map<std::pair<std::int64_t, std::int64_t>, PlaceChanges> postingChanges;
  void Link(std::int64_t term, std::int64_t doc, bool add) {
    PlaceChanges& changes = postingChanges[{term, doc / kChunkIds}];
    (add ? changes.added : changes.removed).push_back(static_cast<std::uint16_t>(doc % kChunkIds));
  }
  bool WritePostings();
  bool WriteDocument(const ReadDocument& document, TermCache& termIds, CataloguedDocument* stored);
  std::optional<std::int64_t> UnlinkRow(const std::string& path, bool* failed);
  bool RemoveRow(const std::string& path);
  std::optional<std::int64_t> TermId(MetadataField field, const std::string& text, TermCache& cache);
};

bool CatalogueStore::Impl::Load(std::vector<std::pair<std::string, FileStamp>>* stamps, std::string* error) {
  // Our writes wait until the table in memory is replaced: one committed
  // after the rows were read would otherwise be missing from it, and the
  // filler, having read that document, would not read it again.
  std::lock_guard writes(writeMutex);
  std::unique_lock reads(*readMutex, std::defer_lock);
  if (readMutex != &writeMutex) reads.lock();
  DocumentTable loaded;
  std::map<std::string, FileStamp> stampOf;  // the newer schema's row wins
  std::int64_t maxId = -1;
  for (const std::string& schema : schemas) {
    Statement rows(reader,
                   InSchema("SELECT id, path, pages, has_thumbnail, size, mtime_ns, inode FROM @.documents", schema));
    int result = SQLITE_ERROR;
    while (rows.ok() && (result = rows.Step()) == SQLITE_ROW) {
      const std::int64_t id = rows.Int(0);
      if (id < 0 || id >= kMaxId) break;
      maxId = std::max(maxId, id);
      std::string path = rows.Text(1);
      loaded.Put(KeyOf(path), CataloguedDocument{static_cast<std::uint32_t>(id), rows.IsNull(2) ? -1 : rows.Int(2),
                                                 rows.Int(3) != 0});
      if (stamps != nullptr)
        stampOf[std::move(path)] = FileStamp{rows.Int(4), rows.Int(5), static_cast<std::uint64_t>(rows.Int(6))};
    }
    if (result != SQLITE_DONE) {
      *error = "damaged";
      return false;
    }
  }
  if (stamps != nullptr) stamps->assign(stampOf.begin(), stampOf.end());
  std::unique_lock memory(memoryMutex);
  documents = std::move(loaded);
  nextId = std::max(nextId, maxId + 1);
  return true;
}

std::optional<std::int64_t> CatalogueStore::Impl::TermId(MetadataField field, const std::string& text,
                                                         TermCache& cache) {
  const auto key = std::make_pair(static_cast<int>(field), text);
  if (const auto it = cache.find(key); it != cache.end()) return it->second;
  Statement find(writer.get(), InSchema("SELECT id FROM @.terms WHERE field = ?1 AND text = ?2", target));
  find.Bind(1, key.first).Bind(2, text);
  std::int64_t id;
  if (const int result = find.Step(); result == SQLITE_ROW) {
    id = find.Int(0);
  } else if (result == SQLITE_DONE) {
    Statement add(writer.get(), InSchema("INSERT INTO @.terms(field, text) VALUES(?1, ?2)", target));
    if (!add.Bind(1, key.first).Bind(2, text).Run()) return std::nullopt;
    id = sqlite3_last_insert_rowid(writer.get());
    Statement index(writer.get(), InSchema("INSERT INTO @.terms_text(rowid, text, field) VALUES(?1, ?2, ?3)", target));
    if (!index.Bind(1, id).Bind(2, text).Bind(3, key.first).Run()) return std::nullopt;
  } else {
    return std::nullopt;
  }
  cache.emplace(key, id);
  return id;
}

// The id of the path's row in the written schema, its links to texts
// undone; nullopt when it has none or it cannot be read.
std::optional<std::int64_t> CatalogueStore::Impl::UnlinkRow(const std::string& path, bool* failed) {
  Statement find(writer.get(), InSchema("SELECT id, terms FROM @.documents WHERE path = ?1", target));
  find.BindBlob(1, path);
  const int result = find.Step();
  *failed = result != SQLITE_ROW && result != SQLITE_DONE;
  if (result != SQLITE_ROW) return std::nullopt;
  const std::int64_t id = find.Int(0);
  for (const std::int64_t term : DecodeIds(find.Text(1))) Link(term, id, false);
  return id;
}

bool CatalogueStore::Impl::WritePostings() {
  Statement read(writer.get(), InSchema("SELECT docs FROM @.postings WHERE term = ?1 AND chunk = ?2", target));
  Statement write(writer.get(),
                  InSchema("INSERT OR REPLACE INTO @.postings(term, chunk, docs) VALUES(?1, ?2, ?3)", target));
  Statement drop(writer.get(), InSchema("DELETE FROM @.postings WHERE term = ?1 AND chunk = ?2", target));
  for (auto& entry : std::exchange(postingChanges, {})) {
    const auto [term, chunk] = entry.first;
    PlaceChanges& changes = entry.second;
    read.Start().Bind(1, term).Bind(2, chunk);
    const int result = read.Step();
    if (result != SQLITE_ROW && result != SQLITE_DONE) return false;
    std::vector<std::uint16_t> places =
        result == SQLITE_ROW ? DecodePlaces(read.Text(0)) : std::vector<std::uint16_t>{};
    std::sort(changes.removed.begin(), changes.removed.end());
    std::erase_if(places, [&](std::uint16_t place) {
      return std::binary_search(changes.removed.begin(), changes.removed.end(), place);
    });
    places.insert(places.end(), changes.added.begin(), changes.added.end());
    std::sort(places.begin(), places.end());
    places.erase(std::unique(places.begin(), places.end()), places.end());
    const std::string bytes = EncodePlaces(places);
    const bool ok = places.empty() ? drop.Start().Bind(1, term).Bind(2, chunk).Run()
                                   : write.Start().Bind(1, term).Bind(2, chunk).BindBlob(3, bytes).Run();
    if (!ok) return false;
  }
  return true;
}

bool CatalogueStore::Impl::RemoveRow(const std::string& path) {
  bool failed = false;
  const std::optional<std::int64_t> id = UnlinkRow(path, &failed);
  if (failed || !id) return !failed;
  Statement remove(writer.get(), InSchema("DELETE FROM @.documents WHERE id = ?1", target));
  return remove.Bind(1, *id).Run();
}

bool CatalogueStore::Impl::WriteDocument(const ReadDocument& document, TermCache& termIds, CataloguedDocument* stored) {
  const DocumentMetadata empty;
  const DocumentMetadata& metadata = document.metadata ? *document.metadata : empty;
  std::vector<std::int64_t> terms;
  for (const auto& [field, text] : TextsOf(metadata)) {
    const std::optional<std::int64_t> term = TermId(field, text, termIds);
    if (!term) return false;
    terms.push_back(*term);
  }
  bool failed = false;
  const std::optional<std::int64_t> existing = UnlinkRow(document.path, &failed);
  if (failed) return false;
  // A row keeps its id when it is written again, so that other processes'
  // ids stay right. Rows of the in-memory part continue the file's ids.
  Statement row(
      writer.get(),
      InSchema("INSERT OR REPLACE INTO @.documents(id, path, size, mtime_ns, inode, readable, kind, application,"
               " version, creator_tool, producer, pages, has_thumbnail, terms)"
               " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)",
               target));
  if (existing) {
    row.Bind(1, *existing);
  } else if (explicitIds) {
    row.Bind(1, nextId);
  } else {
    row.BindNull(1);
  }
  const std::string encoded = EncodeIds(terms);
  row.BindBlob(2, document.path).Bind(3, document.stamp.size).Bind(4, document.stamp.mtimeNs);
  row.Bind(5, static_cast<std::int64_t>(document.stamp.inode)).Bind(6, document.metadata ? 1 : 0);
  row.Bind(7, static_cast<std::int64_t>(metadata.kind)).Bind(8, metadata.application).Bind(9, metadata.version);
  row.Bind(10, metadata.creatorTool).Bind(11, metadata.producer);
  if (metadata.pages) {
    row.Bind(12, *metadata.pages);
  } else {
    row.BindNull(12);
  }
  row.Bind(13, metadata.hasThumbnail ? 1 : 0).BindBlob(14, encoded);
  if (!row.Run()) return false;
  const std::int64_t id = sqlite3_last_insert_rowid(writer.get());
  if (id < 0 || id >= kMaxId) return false;
  nextId = std::max(nextId, id + 1);
  for (const std::int64_t term : terms) Link(term, id, true);
  *stored = CataloguedDocument{static_cast<std::uint32_t>(id), metadata.pages.value_or(-1), metadata.hasThumbnail};
  return true;
}

CatalogueStore::CatalogueStore(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CatalogueStore::~CatalogueStore() = default;

bool CatalogueStore::Impl::OpenReadOnly(std::string* error) {
  // The file is attached read-only to a database in memory, which takes
  // what is read meanwhile, for this run; its ids continue the file's.
  writer = OpenFile(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI, error);
  if (!writer) return false;
  sqlite3* db = writer.get();
  Statement attach(db, "ATTACH DATABASE ?1 AS built");
  const std::string uri = FileUri(path, "?mode=ro");
  Verdict verdict = attach.Bind(1, uri).Run() ? Examine(db, "built") : FailureOf(db);
  if (verdict.kind == Verdict::kEmpty) verdict = {Verdict::kUnusable, "not a catalogue"};
  if (verdict.kind != Verdict::kUsable) {
    *error = verdict.reason;
    return false;
  }
  if (!MakeSchema(db, "main")) {
    *error = sqlite3_errmsg(db);
    return false;
  }
  schemas = {"built", "main"};
  explicitIds = true;
  reader = db;
  readMutex = &writeMutex;
  return true;
}

bool CatalogueStore::Impl::OpenWritable(std::string* error) {
  if (mode == CatalogueMode::kBuild && IsForeignFile(path)) {
    *error = "exists and is not a catalogue; it is left alone";
    return false;
  }
  if (mode == CatalogueMode::kOwn) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  }
  writer = OpenFile(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
  if (!writer) return false;
  Verdict verdict = Examine(writer.get(), "main");
  if (verdict.kind == Verdict::kUnusable) {
    // Never trusted, never mended: made anew from the documents.
    writer.reset();
    RemoveDatabase(path);
    writer = OpenFile(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
    if (!writer) return false;
    verdict = Examine(writer.get(), "main");
  }
  sqlite3* db = writer.get();
  const char* journal = mode == CatalogueMode::kOwn ? "PRAGMA journal_mode = WAL" : "PRAGMA journal_mode = DELETE";
  if (verdict.kind == Verdict::kUnavailable || !Exec(db, journal) || !Exec(db, "PRAGMA synchronous = NORMAL") ||
      (verdict.kind == Verdict::kEmpty && !MakeSchema(db, "main"))) {
    *error = verdict.kind == Verdict::kUnavailable ? verdict.reason : sqlite3_errmsg(db);
    return false;
  }
  reader = db;
  readMutex = &writeMutex;
  if (mode == CatalogueMode::kOwn) {
    // Readers of the log need not wait for a write.
    std::string ignored;
    readerOwn = OpenFile(path, SQLITE_OPEN_READONLY, &ignored);
    if (readerOwn) {
      reader = readerOwn.get();
      readMutex = &readOwnMutex;
    }
  }
  return true;
}

std::unique_ptr<CatalogueStore> CatalogueStore::Open(const std::string& path, CatalogueMode mode, std::string* error) {
  auto impl = std::make_unique<Impl>();
  impl->mode = mode;
  impl->path = path;
  const bool opened = mode == CatalogueMode::kReadOnly ? impl->OpenReadOnly(error) : impl->OpenWritable(error);
  if (!opened || !impl->Load(nullptr, error)) return nullptr;
  return std::unique_ptr<CatalogueStore>(new CatalogueStore(std::move(impl)));
}

bool CatalogueStore::Apply(const std::vector<ReadDocument>& documents, const std::vector<std::string>& removed,
                           std::string* error) {
  Impl& impl = *impl_;
  std::lock_guard lock(impl.writeMutex);
  sqlite3* db = impl.writer.get();
  const std::int64_t firstId = impl.nextId;
  std::vector<CataloguedDocument> stored(documents.size());
  Impl::TermCache termIds;
  bool ok = Exec(db, "BEGIN IMMEDIATE");
  for (const std::string& path : removed) ok = ok && impl.RemoveRow(path);
  for (std::size_t i = 0; i < documents.size() && ok; ++i) ok = impl.WriteDocument(documents[i], termIds, &stored[i]);
  ok = ok && impl.WritePostings() && Exec(db, "COMMIT");
  impl.postingChanges.clear();
  if (!ok) {
    *error = sqlite3_errmsg(db);
    Exec(db, "ROLLBACK");
    impl.nextId = firstId;
    return false;
  }
  std::unique_lock memory(impl.memoryMutex);
  for (const std::string& path : removed) impl.documents.Erase(KeyOf(path));
  for (std::size_t i = 0; i < documents.size(); ++i) impl.documents.Put(KeyOf(documents[i].path), stored[i]);
  return true;
}

std::vector<std::pair<std::string, FileStamp>> CatalogueStore::Reload() {
  std::vector<std::pair<std::string, FileStamp>> stamps;
  std::string ignored;
  impl_->Load(&stamps, &ignored);
  return stamps;
}

CatalogueStore::MemoryView::MemoryView(const CatalogueStore& store) : store_(store), lock_(store.impl_->memoryMutex) {}

std::optional<CataloguedDocument> CatalogueStore::MemoryView::Find(std::string_view path) const {
  return store_.impl_->documents.Find(KeyOf(path));
}

std::vector<std::uint32_t> CatalogueStore::DocumentsWith(MetadataField field, std::string_view foldedPattern) const {
  std::lock_guard lock(*impl_->readMutex);
  const std::string glob = GlobOf(foldedPattern);
  std::vector<std::uint32_t> ids;
  for (const std::string& schema : impl_->schemas) {
    // The trigram index finds the texts; each one's postings follow by key.
    Statement holders(impl_->reader,
                      InSchema("SELECT p.chunk, p.docs FROM @.terms_text f JOIN @.postings p ON p.term = f.rowid"
                               " WHERE f.text GLOB ?1 AND f.field = ?2",
                               schema));
    holders.Bind(1, glob).Bind(2, static_cast<std::int64_t>(field));
    while (holders.Step() == SQLITE_ROW) {
      const std::int64_t chunk = holders.Int(0);
      if (chunk < 0 || chunk >= kMaxId / kChunkIds) continue;
      for (const std::uint16_t place : DecodePlaces(holders.Text(1)))
        ids.push_back(static_cast<std::uint32_t>(chunk * kChunkIds + place));
    }
  }
  return ids;
}

std::optional<DocumentMetadata> CatalogueStore::MakerOf(const std::string& path) const {
  std::lock_guard lock(*impl_->readMutex);
  for (auto schema = impl_->schemas.rbegin(); schema != impl_->schemas.rend(); ++schema) {
    Statement row(impl_->reader,
                  InSchema("SELECT readable, kind, application, version, creator_tool, producer FROM @.documents"
                           " WHERE path = ?1",
                           *schema));
    row.BindBlob(1, path);
    if (row.Step() != SQLITE_ROW) continue;
    if (row.Int(0) == 0) return std::nullopt;
    DocumentMetadata metadata;
    const std::int64_t kind = row.Int(1);
    if (kind > 0 && kind <= static_cast<std::int64_t>(DocumentKind::kCorelDraw))
      metadata.kind = static_cast<DocumentKind>(kind);
    metadata.application = row.Text(2);
    metadata.version = row.Text(3);
    metadata.creatorTool = row.Text(4);
    metadata.producer = row.Text(5);
    return metadata;
  }
  return std::nullopt;
}

}  // namespace glimpses
