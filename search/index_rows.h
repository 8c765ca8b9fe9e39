// The rows of an answer of the embedded index, and the index they read
// from with its lock. Rows are entry ids until they are shown; a read that
// must not wait for the lock (a catch-up can hold it for seconds) is told
// the index is busy instead, and the first run comes made with the answer
// so a new answer shows at once whatever holds the lock.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "search/name_index.h"
#include "search/search_service.h"

namespace glimpses {

// Every use of the index takes the lock; shared with the rows of its
// answers, which may outlive the service.
struct GuardedIndex {
  GuardedIndex(std::vector<std::string> normalizedRoots, bool includeHidden)
      : index(std::move(normalizedRoots), includeHidden) {}
  NameIndex index;
  std::mutex mutex;
};

// The rows of `ids`, a Match of `guarded->index` that left `pending`
// documents to the catalogue, made while the caller still holds its lock.
RowsAnswer MakeIndexRows(std::shared_ptr<GuardedIndex> guarded, std::vector<std::uint32_t> ids,
                         std::size_t pending = 0);

}  // namespace glimpses
