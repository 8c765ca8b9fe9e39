// Owners of open files: a POSIX descriptor and a stdio stream, each closed
// exactly once, by its destructor unless closed or released before.
#pragma once

#include <cstdio>
#include <string>
#include <utility>

namespace glimpses {

// Move-only owner of a file descriptor; -1 means none.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Close(); }

  // open(2) with O_CLOEXEC added; an empty UniqueFd on failure (errno set).
  static UniqueFd Open(const std::string& path, int flags, unsigned mode = 0);

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int release() { return std::exchange(fd_, -1); }
  // Closes now; false when close(2) reported an error.
  bool Close();

 private:
  int fd_ = -1;
};

// Move-only owner of a FILE*.
class File {
 public:
  File() = default;
  explicit File(std::FILE* f) : f_(f) {}
  File(File&& other) noexcept : f_(std::exchange(other.f_, nullptr)) {}
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() { Close(); }

  // Opens with fopen's `mode` plus close-on-exec; an empty File on failure.
  static File Open(const std::string& path, const char* mode);

  std::FILE* get() const { return f_; }
  explicit operator bool() const { return f_ != nullptr; }
  // Closes now; false when buffered data could not be flushed.
  bool Close();

 private:
  std::FILE* f_ = nullptr;
};

}  // namespace glimpses
