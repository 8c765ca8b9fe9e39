#include "search/index_rows.h"

#include <algorithm>
#include <utility>

namespace glimpses {
namespace {

// Appends the results of `ids` [first, last) to `out`; false when the index
// renumbered its entries since `generation`.
bool AppendResults(const NameIndex& index, std::uint64_t generation, const std::vector<std::uint32_t>& ids,
                   std::size_t first, std::size_t last, std::vector<SearchResult>* out) {
  for (std::size_t i = first; i < last; ++i) {
    std::optional<SearchResult> result = index.ResultAt(generation, ids[i]);
    if (!result) return false;
    out->push_back(std::move(*result));
  }
  return true;
}

class IndexRows final : public AnswerRows {
 public:
  IndexRows(std::shared_ptr<GuardedIndex> guarded, std::vector<std::uint32_t> ids, std::size_t pending)
      : guarded_(std::move(guarded)),
        generation_(guarded_->index.generation()),
        ids_(std::move(ids)),
        pending_(pending) {
    AppendResults(guarded_->index, generation_, ids_, 0, std::min(kRun, ids_.size()), &head_);
  }

  std::size_t size() const override { return ids_.size(); }
  std::size_t pending() const override { return pending_; }

  RowsRead Read(std::size_t first, std::size_t count, RowsWait wait) const override {
    RowsRead read;
    if (first + count <= head_.size()) {
      read.rows.assign(head_.begin() + first, head_.begin() + first + count);
      return read;
    }
    std::unique_lock lock(guarded_->mutex, std::defer_lock);
    if (wait == RowsWait::kMayWait) {
      lock.lock();
    } else if (!lock.try_lock()) {
      return {RowsRead::kBusy, {}};
    }
    read.rows.reserve(count);
    if (!AppendResults(guarded_->index, generation_, ids_, first, first + count, &read.rows))
      return {RowsRead::kOutdated, {}};
    return read;
  }

 private:
  std::shared_ptr<GuardedIndex> guarded_;
  std::uint64_t generation_;
  std::vector<std::uint32_t> ids_;
  std::vector<SearchResult> head_;  // the first run, made with the answer
  std::size_t pending_;
};

}  // namespace

RowsAnswer MakeIndexRows(std::shared_ptr<GuardedIndex> guarded, std::vector<std::uint32_t> ids, std::size_t pending) {
  return std::make_shared<IndexRows>(std::move(guarded), std::move(ids), pending);
}

}  // namespace glimpses
