#include "search/service_catalogue.h"

#include <sys/stat.h>

#include <algorithm>
#include <thread>
#include <utility>

#include "catalogue/catalogue_query.h"
#include "search/document_filter.h"

namespace glimpses {
namespace {

CatalogueMode ModeOf(const SearchOptions& options) {
  if (options.catalogueFile.empty()) return CatalogueMode::kOwn;
  return options.buildCatalogue ? CatalogueMode::kBuild : CatalogueMode::kReadOnly;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsUnderAny(const std::string& path, const std::vector<std::string>& roots) {
  return std::any_of(roots.begin(), roots.end(), [&](const std::string& root) {
    return root == "/" || (path.size() > root.size() && path.starts_with(root) && path[root.size()] == '/');
  });
}

int ReaderThreads() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

}  // namespace

ServiceCatalogue::ServiceCatalogue(const SearchOptions& options, std::vector<std::string> roots,
                                   const std::string& cacheFolder)
    : path_(options.catalogueFile.empty() ? OwnCataloguePath(cacheFolder) : options.catalogueFile),
      mode_(ModeOf(options)),
      roots_(std::move(roots)),
      reader_(options.metadataReader) {}

std::shared_ptr<CatalogueStore> ServiceCatalogue::Store(std::string* error) {
  std::lock_guard lock(mutex_);
  // A failure is not kept: a disk that was full may not be any more.
  if (!store_) {
    std::string why;
    store_ = CatalogueStore::Open(path_, mode_, &why);
    if (!store_) *error = "catalogue " + path_ + ": " + why;
  }
  return store_;
}

// The rows a sync may drop: those under the roots that can be read now (a
// root that is not there, say a share not mounted, keeps its rows until
// it is back), and, in a catalogue built for others, which holds these
// roots' documents and no other, those outside every root.
CatalogueFiller::DropScope ServiceCatalogue::Scope() const {
  std::vector<std::string> present;
  for (const std::string& root : roots_)
    if (IsDirectory(root)) present.push_back(root);
  return [present = std::move(present), roots = roots_, build = mode_ == CatalogueMode::kBuild](
             const std::string& path) { return IsUnderAny(path, present) || (build && !IsUnderAny(path, roots)); };
}

bool ServiceCatalogue::Bind(Query& query, std::string* error) {
  const std::shared_ptr<CatalogueStore> store = Store(error);
  if (!store) return false;
  auto matcher = std::make_shared<const CatalogueMatcher>(store, query.TextTerms());
  query.SetMetadataLookup([matcher](std::string_view path) { return matcher->Lookup(path); });
  return true;
}

void ServiceCatalogue::StartFilling(std::vector<std::string> documents) {
  std::string error;
  const std::shared_ptr<CatalogueStore> store = Store(&error);
  if (!store || !reader_) return;
  std::lock_guard lock(mutex_);
  if (!background_) {
    background_ =
        std::make_unique<CatalogueFiller>(store, reader_, CatalogueFiller::Pace::kBackground, ReaderThreads());
    background_->ReadFirst(std::exchange(firstPaths_, {}));
  }
  background_->Sync(std::move(documents), Scope(), true);
}

void ServiceCatalogue::IndexChanged(std::vector<std::string> documents, std::vector<std::string> named,
                                    bool overflowed) {
  std::lock_guard lock(mutex_);
  if (!background_) return;
  // Names that were or are documents: a save that replaces a document by a
  // new file under its name leaves the name as it was.
  std::erase_if(named, [](const std::string& path) { return !IsListedDocument(path.substr(path.rfind('/') + 1)); });
  background_->Recheck(std::move(named));
  background_->Sync(std::move(documents), Scope(), overflowed);
}

void ServiceCatalogue::ReadFirst(std::vector<std::string> paths) {
  std::lock_guard lock(mutex_);
  if (background_) {
    background_->ReadFirst(std::move(paths));
  } else {
    firstPaths_ = std::move(paths);
  }
}

FillProgress ServiceCatalogue::Progress() const {
  std::lock_guard lock(mutex_);
  return background_ ? background_->Progress() : FillProgress{};
}

bool ServiceCatalogue::FillNow(std::vector<std::string> documents, bool prune,
                               const std::function<void(FillProgress)>& progress, std::string* error) {
  const std::shared_ptr<CatalogueStore> store = Store(error);
  if (!store) return false;
  if (!reader_) {
    *error = "no reader of documents";
    return false;
  }
  CatalogueFiller filler(store, reader_, CatalogueFiller::Pace::kForeground, ReaderThreads());
  return filler.FillNow(std::move(documents), prune ? Scope() : CatalogueFiller::DropScope(), progress, error);
}

std::optional<DocumentMetadata> ServiceCatalogue::MakerOf(const std::string& path) {
  std::string error;
  const std::shared_ptr<CatalogueStore> store = Store(&error);
  return store ? store->MakerOf(path) : std::nullopt;
}

}  // namespace glimpses
