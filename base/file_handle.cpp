#include "base/file_handle.h"

#include <fcntl.h>
#include <unistd.h>

namespace glimpses {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.release();
  }
  return *this;
}

UniqueFd UniqueFd::Open(const std::string& path, int flags, unsigned mode) {
  return UniqueFd(::open(path.c_str(), flags | O_CLOEXEC, mode));
}

bool UniqueFd::Close() {
  if (fd_ < 0) return true;
  // Linux releases the descriptor even when close fails: never retry.
  return ::close(std::exchange(fd_, -1)) == 0;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    f_ = std::exchange(other.f_, nullptr);
  }
  return *this;
}

File File::Open(const std::string& path, const char* mode) {
  std::string m = std::string(mode) + "e";  // glibc: O_CLOEXEC
  return File(std::fopen(path.c_str(), m.c_str()));
}

bool File::Close() {
  if (!f_) return true;
  return std::fclose(std::exchange(f_, nullptr)) == 0;
}

}  // namespace glimpses
