#include "catalogue/catalogue_filler.h"

#include <linux/ioprio.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace glimpses {
namespace {

using Clock = std::chrono::steady_clock;

// A write costs a transaction: documents are written this many at a time,
// or after this long, whichever comes first.
constexpr std::size_t kBatch = 256;
constexpr auto kBatchAge = std::chrono::milliseconds(500);

// The calling thread takes only the CPU and the disk that nothing else
// wants: SCHED_IDLE (and the weakest nice, where that is refused) and the
// idle I/O class.
void LowerThisThread() {
  const auto self = static_cast<id_t>(::syscall(SYS_gettid));
  sched_param none{};
  if (::sched_setscheduler(0, SCHED_IDLE, &none) != 0) ::setpriority(PRIO_PROCESS, self, 19);
  ::syscall(SYS_ioprio_set, IOPRIO_WHO_PROCESS, self, IOPRIO_PRIO_VALUE(IOPRIO_CLASS_IDLE, 0));
}

}  // namespace

struct CatalogueFiller::Impl {
  std::shared_ptr<CatalogueStore> store;
  MetadataReader reader;
  Pace pace;

  struct SyncJob {
    std::vector<std::string> documents;
    DropScope scope;
    bool checkStamps;
  };

  mutable std::mutex mutex;
  std::condition_variable work;     // readers: something to do
  std::condition_variable written;  // the writer: a batch, or the end
  std::optional<SyncJob> sync;
  bool syncRunning = false;
  std::deque<std::string> first;    // on screen
  std::deque<std::string> changed;  // named by change events
  std::deque<std::string> toCheck;
  std::deque<std::string> toRead;
  // Of this pass: the stored stamps of those to check, and those read.
  std::unordered_map<std::string, FileStamp> stamps;
  std::unordered_set<std::string> inHand;  // being read now
  std::vector<ReadDocument> batch;
  std::vector<std::string> removals;
  Clock::time_point batchStart;
  std::size_t reading = 0;  // documents being read now
  bool writing = false;     // a batch is being written
  std::size_t done = 0;
  std::size_t total = 0;
  std::string error;
  bool stopping = false;
  std::vector<std::thread> readers;
  std::thread writer;

  bool Idle() const {
    return !sync && !syncRunning && Drained() && reading == 0 && !writing && batch.empty() && removals.empty();
  }
  bool Drained() const { return first.empty() && changed.empty() && toCheck.empty() && toRead.empty(); }
  // Work arrives: the last round is over when there was none.
  void Arriving() {
    if (!Idle()) return;
    done = total = 0;
    stamps.clear();
  }
  void ReaderLoop();
  void WriterLoop();
  void RunSync(SyncJob job);
  void Handle(const std::string& path, bool counted);
};

void CatalogueFiller::Impl::RunSync(SyncJob job) {
  std::vector<std::pair<std::string, FileStamp>> stored = store->Reload();
  std::unordered_set<std::string_view> present(job.documents.begin(), job.documents.end());
  std::vector<std::string> gone;
  std::unordered_map<std::string, FileStamp> storedStamps;
  for (auto& [path, stamp] : stored) {
    if (!present.contains(path)) {
      if (job.scope && job.scope(path)) gone.push_back(path);
    } else if (job.checkStamps) {
      storedStamps.emplace(std::move(path), stamp);
    }
  }
  std::vector<std::string> unread;
  std::vector<std::string> held;
  for (std::string& path : job.documents) {
    if (!store->Find(path)) {
      unread.push_back(std::move(path));
    } else if (job.checkStamps) {
      held.push_back(std::move(path));
    }
  }
  std::lock_guard lock(mutex);
  syncRunning = false;
  // What this round read already stays: it is newer than what is stored.
  stamps.merge(storedStamps);
  toCheck.assign(std::make_move_iterator(held.begin()), std::make_move_iterator(held.end()));
  toRead.assign(std::make_move_iterator(unread.begin()), std::make_move_iterator(unread.end()));
  total = done + toRead.size();
  removals.insert(removals.end(), gone.begin(), gone.end());
  work.notify_all();
  written.notify_all();
}

// Reads `path` unless this pass already saw it as it is now (stored
// unchanged, or read), and hands it to the writer. A `counted` path is in
// the progress's total already; another is added once it needs reading.
void CatalogueFiller::Impl::Handle(const std::string& path, bool counted) {
  const std::optional<FileStamp> stamp = StampOf(path);
  if (!stamp) {
    const bool stored = store->Find(path).has_value();
    std::lock_guard lock(mutex);
    if (counted) ++done;
    if (stored) removals.push_back(path);
    return;
  }
  {
    std::lock_guard lock(mutex);
    const auto seen = stamps.find(path);
    // Another reader has it in hand: from the screen while a sync queued
    // it with the rest.
    if ((seen != stamps.end() && seen->second == *stamp) || !inHand.insert(path).second) {
      if (counted) ++done;
      return;
    }
    if (!counted) ++total;
  }
  ReadDocument document{path, *stamp, reader(path)};
  // A document written to while it was read is read again by a later pass.
  if (StampOf(path) != stamp) document.stamp = FileStamp{-1, 0, 0};
  std::lock_guard lock(mutex);
  inHand.erase(path);
  stamps[path] = document.stamp;
  if (batch.empty()) batchStart = Clock::now();
  batch.push_back(std::move(document));
  ++done;
  // The writer shares the condition with FillNow's waiter: both are woken.
  if (batch.size() >= kBatch) written.notify_all();
}

void CatalogueFiller::Impl::ReaderLoop() {
  if (pace == Pace::kBackground) LowerThisThread();
  std::unique_lock lock(mutex);
  while (true) {
    work.wait(lock, [this] { return stopping || sync || !Drained(); });
    if (stopping) return;
    if (sync) {
      SyncJob job = std::move(*sync);
      sync.reset();
      syncRunning = true;
      lock.unlock();
      RunSync(std::move(job));
      lock.lock();
      continue;
    }
    // The checks first: they are cheap, and they tell how much there is
    // to read.
    std::deque<std::string>& queue = !first.empty()     ? first
                                     : !changed.empty() ? changed
                                     : !toCheck.empty() ? toCheck
                                                        : toRead;
    const bool onScreen = &queue == &first;
    std::string path = std::move(queue.front());
    queue.pop_front();
    // On screen: what is stored is read again only when its stamp is known
    // to have moved (a sync checking stamps holds the stored ones).
    if (onScreen && !stamps.contains(path) && store->Find(path)) continue;
    const bool counted = &queue == &changed || &queue == &toRead;
    ++reading;
    lock.unlock();
    Handle(path, counted);
    lock.lock();
    --reading;
    // The last reader done: what is read is written now, not at the batch's age.
    if (reading == 0 && Drained()) written.notify_all();
  }
}

void CatalogueFiller::Impl::WriterLoop() {
  std::unique_lock lock(mutex);
  while (true) {
    const bool due = written.wait_for(lock, kBatchAge, [this] {
      return stopping || batch.size() >= kBatch || (!batch.empty() && Clock::now() - batchStart >= kBatchAge) ||
             (reading == 0 && Drained() && (!batch.empty() || !removals.empty()));
    });
    if (!due) continue;
    std::vector<ReadDocument> documents = std::exchange(batch, {});
    std::vector<std::string> gone = std::exchange(removals, {});
    const bool last = stopping;
    writing = true;
    lock.unlock();
    std::string failure;
    const bool ok = (documents.empty() && gone.empty()) || store->Apply(documents, gone, &failure);
    lock.lock();
    writing = false;
    if (!ok) {
      // The catalogue stays as it was; reading on would only fill memory.
      error = failure;
      first.clear();
      changed.clear();
      toCheck.clear();
      toRead.clear();
    }
    written.notify_all();
    if (last) return;
  }
}

CatalogueFiller::CatalogueFiller(std::shared_ptr<CatalogueStore> store, MetadataReader reader, Pace pace, int threads)
    : impl_(std::make_unique<Impl>()) {
  impl_->store = std::move(store);
  impl_->reader = std::move(reader);
  impl_->pace = pace;
  try {
    impl_->writer = std::thread([impl = impl_.get()] { impl->WriterLoop(); });
    for (int i = 0; i < std::max(threads, 1); ++i)
      impl_->readers.emplace_back([impl = impl_.get()] { impl->ReaderLoop(); });
  } catch (...) {
    // Fewer readers than asked for are slower, none at all is no filler.
    if (impl_->readers.empty()) impl_->error = "no thread could be started";
  }
}

CatalogueFiller::~CatalogueFiller() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->work.notify_all();
  for (std::thread& thread : impl_->readers) thread.join();
  impl_->written.notify_all();
  if (impl_->writer.joinable()) impl_->writer.join();
}

void CatalogueFiller::Sync(std::vector<std::string> documents, DropScope scope, bool checkStamps) {
  std::lock_guard lock(impl_->mutex);
  impl_->Arriving();
  impl_->error.clear();
  impl_->sync = Impl::SyncJob{std::move(documents), std::move(scope), checkStamps};
  impl_->work.notify_one();
}

void CatalogueFiller::Recheck(std::vector<std::string> paths) {
  std::lock_guard lock(impl_->mutex);
  impl_->Arriving();
  impl_->total += paths.size();
  for (std::string& path : paths) impl_->changed.push_back(std::move(path));
  impl_->work.notify_all();
}

void CatalogueFiller::ReadFirst(std::vector<std::string> paths) {
  std::lock_guard lock(impl_->mutex);
  impl_->Arriving();
  impl_->first.assign(std::make_move_iterator(paths.begin()), std::make_move_iterator(paths.end()));
  impl_->work.notify_all();
}

FillProgress CatalogueFiller::Progress() const {
  std::lock_guard lock(impl_->mutex);
  if (impl_->Idle()) return {};
  return {impl_->done, impl_->total};
}

bool CatalogueFiller::FillNow(std::vector<std::string> documents, DropScope scope,
                              const std::function<void(FillProgress)>& progress, std::string* error) {
  if (impl_->readers.empty() || !impl_->writer.joinable()) {
    *error = "no thread could be started";
    return false;
  }
  Sync(std::move(documents), std::move(scope), true);
  std::unique_lock lock(impl_->mutex);
  while (!impl_->written.wait_for(lock, std::chrono::milliseconds(100), [this] { return impl_->Idle(); })) {
    if (!progress) continue;
    const FillProgress now{impl_->done, impl_->total};
    lock.unlock();
    progress(now);
    lock.lock();
  }
  if (progress) progress({impl_->done, impl_->total});
  *error = impl_->error;
  return impl_->error.empty();
}

}  // namespace glimpses
