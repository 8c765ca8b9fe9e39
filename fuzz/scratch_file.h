// A private folder for one fuzzing process: each input is written to a file
// there, for the readers that take documents by path. It lives in /dev/shm
// when that exists, so the file costs no disk writes.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace glimpses {

class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/dev/shm/glimpses-fuzz-XXXXXX";
    char fallback[] = "/tmp/glimpses-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) made = mkdtemp(fallback);
    if (made == nullptr) std::abort();
    folder_ = made;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string Path(const char* name) const { return folder_ + "/" + name; }

  // Writes the input as `name`, aborts when it cannot, which would make every later run
  // meaningless.
  std::string WriteInput(const char* name, const std::uint8_t* data, std::size_t size) const {
    std::string path = Path(name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) std::abort();
    return path;
  }

  void Remove(const std::string& path) const { unlink(path.c_str()); }

 private:
  std::string folder_;
};

}  // namespace glimpses
