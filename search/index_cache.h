// The name index's cache file: the table saved between runs so a start
// need not read every folder again. The file is checked whole before it is
// used; a damaged, truncated or foreign file is refused, never trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "search/index_table.h"

namespace glimpses {

// The cache file name for this root set and these excluded folders (their
// ExcludedFolders::Items) ("index-<hash>.bin").
std::string IndexFileName(const std::vector<std::string>& normalizedRoots, bool includeHidden,
                          const std::vector<std::string>& excludes = {});

// Writes `table` of `rootPaths` to `path` through a temporary file and a
// rename. False when it could not be written whole (nothing is left behind).
bool SaveIndexTable(const IndexTable& table, const std::vector<std::string>& rootPaths, bool includeHidden,
                    const std::string& path, const std::vector<std::string>& excludes = {});

// The table saved in `data` for exactly these roots, hidden setting and
// excluded folders into `*table`. False, leaving `*table` unchanged, when
// the bytes are damaged, truncated or were saved with other settings.
bool DecodeIndexTable(const std::uint8_t* data, std::size_t size, const std::vector<std::string>& rootPaths,
                      bool includeHidden, IndexTable* table, const std::vector<std::string>& excludes = {});

// DecodeIndexTable over the file at `path`; false when it cannot be read.
bool LoadIndexTable(const std::string& path, const std::vector<std::string>& rootPaths, bool includeHidden,
                    IndexTable* table, const std::vector<std::string>& excludes = {});

}  // namespace glimpses
