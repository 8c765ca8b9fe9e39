// A private folder (mkdtemp, mode 0700) removed with all it holds when its
// owner goes: where the thumbnailer passes a picture through, and where
// tests and fuzzers make their files.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace glimpses {

class TempFolder {
 public:
  // A new folder in `parent` named `prefix` and six random characters, or
  // nullopt when none can be made there.
  static std::optional<TempFolder> CreateIn(std::string_view parent, std::string_view prefix);

  TempFolder(TempFolder&& other) noexcept;
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  TempFolder& operator=(TempFolder&&) = delete;
  // Gives the owner its rights back first: a test may have taken them away.
  ~TempFolder();

  const std::string& path() const { return path_; }
  std::string Path(std::string_view relative) const;

 private:
  explicit TempFolder(std::string path) : path_(std::move(path)) {}
  std::string path_;
};

}  // namespace glimpses
