// Answers queries from plocate's database: the positive literal terms go to
// plocate, every other rule of the query is applied to what it returns, and
// only entries under the search roots are kept (hidden ones only if asked).
#pragma once

#include <string>
#include <vector>

#include "search/excluded_folders.h"
#include "search/query.h"
#include "search/search_service.h"

namespace glimpses {

struct PlocateOptions {
  std::vector<std::string> roots;  // as NormalizeRoots gives them
  bool includeHidden = false;
  std::string database;             // empty: plocate's default database
  std::string program = "plocate";  // looked up in PATH when it has no '/'
  ExcludedFolders excluded;         // left out of the answer
};

// The database plocate reads when none is named.
std::string DefaultPlocateDatabase();

// True when `program` can be run (found in PATH when it has no '/').
bool ProgramAvailable(const std::string& program);

// The answer in the service's order; nullopt when plocate is missing or
// fails, the database is not a readable plocate database, or no root exists.
SearchAnswer QueryPlocate(const Query& query, const PlocateOptions& options);

}  // namespace glimpses
