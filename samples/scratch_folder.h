// A private folder under /tmp, removed with everything in it when its owner
// goes: where tests, fuzzers and the fixtures built on it make their files.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/temp_folder.h"
#include "extract/bytes.h"

namespace glimpses {

class ScratchFolder {
 public:
  // A new folder under `parent`, or under /tmp when none can be made there;
  // root() is empty when no folder could be made.
  explicit ScratchFolder(const std::string& parent = "/tmp");

  const std::string& root() const { return folder_ ? folder_->path() : kNone; }
  std::string Path(std::string_view relative) const;

  // Writes `bytes` whole as `relative`; its path, or "" when it could not be
  // written.
  std::string Write(std::string_view relative, std::string_view bytes) const;
  std::string Write(std::string_view relative, const Bytes& bytes) const;

  // Makes each path: a folder when it ends in '/', otherwise a file of one
  // byte; missing folders on the way are made too.
  void Make(const std::vector<std::string>& relativePaths) const;

  // Sets every folder's modification time an hour back (the index trusts
  // only times that are not just now).
  void Age() const;

  // The names of the entries directly inside the folder.
  std::set<std::string> Names() const;

 private:
  inline static const std::string kNone;
  std::optional<TempFolder> folder_;
};

}  // namespace glimpses
