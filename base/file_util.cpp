#include "base/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace glimpses {

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::int64_t FileLength(const std::string& path) {
  // O_NONBLOCK: opening a FIFO named like a picture must not wait for a writer.
  UniqueFd fd = UniqueFd::Open(path, O_RDONLY | O_NONBLOCK);
  struct stat st;
  return fd && fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
}

std::optional<Bytes> ReadFileRange(const std::string& path, std::int64_t offset, std::size_t size) {
  UniqueFd fd = UniqueFd::Open(path, O_RDONLY);
  if (!fd) return std::nullopt;
  Bytes data(size);
  std::size_t got = 0;
  bool ok = true;
  while (got < size) {
    ssize_t n = pread(fd.get(), data.data() + got, size - got, offset + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (!ok) return std::nullopt;
  data.resize(got);
  return data;
}

std::optional<Bytes> ReadWholeFile(const std::string& path, std::size_t limit) {
  std::int64_t length = FileLength(path);
  if (length < 0 || static_cast<std::uint64_t>(length) > limit) return std::nullopt;
  return ReadFileRange(path, 0, static_cast<std::size_t>(length));
}

namespace {

std::string FolderOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return path.substr(0, slash + 1);
}

std::string BaseNameOf(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RandomTag() {
  thread_local std::mt19937_64 rng{std::random_device{}()};
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string tag(8, '0');
  for (char& c : tag) c = kDigits[rng() % 36];
  return tag;
}

}  // namespace

// A fresh hidden name beside `beside`, short enough for NAME_MAX even when
// the target's name is long.
std::string TempNameBeside(const std::string& beside) {
  return FolderOf(beside) + "." + BaseNameOf(beside).substr(0, 180) + "." + RandomTag() + ".tmp";
}

// A file without a name in the folder of `beside`: nothing is left behind
// when the process is killed while writing it. It is given a name through
// /proc only when committed, so both must be there.
UniqueFd OpenUnnamedBeside(const std::string& beside) {
  static const bool procMounted = access("/proc/self/fd", X_OK) == 0;
  if (!procMounted) return UniqueFd();
  const std::string folder = FolderOf(beside);
  return UniqueFd::Open(folder.empty() ? "." : folder, O_TMPFILE | O_WRONLY, 0666);
}

std::optional<TempFile> TempFile::CreateUnnamedBeside(const std::string& beside) {
  if (UniqueFd fd = OpenUnnamedBeside(beside)) {
    File file(fdopen(fd.get(), "wb"));
    if (!file) return std::nullopt;
    fd.release();  // the stream owns it now
    return TempFile(TempNameBeside(beside), std::move(file), /*named=*/false);
  }
  return CreateBeside(beside);
}

std::optional<TempFile> TempFile::CreateBeside(const std::string& beside) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = TempNameBeside(beside);
    UniqueFd fd = UniqueFd::Open(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (!fd) {
      if (errno == EEXIST) continue;
      return std::nullopt;
    }
    File file(fdopen(fd.get(), "wb"));
    if (!file) {
      unlink(path.c_str());
      return std::nullopt;
    }
    fd.release();  // the stream owns it now
    return TempFile(std::move(path), std::move(file), /*named=*/true);
  }
  return std::nullopt;
}

std::string TempFile::SelfPath() const { return "/proc/self/fd/" + std::to_string(fileno(file_.get())); }

bool TempFile::GiveName() {
  if (named_) return true;
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (linkat(AT_FDCWD, SelfPath().c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      named_ = true;
      return true;
    }
    if (errno != EEXIST) return false;
    path_ = TempNameBeside(path_);
  }
  return false;
}

bool TempFile::MoveTo(const std::string& target) {
  // A hidden name, however briefly held, is what a process killed before the
  // rename leaves behind: an unnamed file takes a free target name directly.
  if (!named_ && linkat(AT_FDCWD, SelfPath().c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    named_ = true;
    path_ = target;
    return true;
  }
  return GiveName() && std::rename(path_.c_str(), target.c_str()) == 0;
}

TempFile::TempFile(TempFile&& other) noexcept
    : path_(std::move(other.path_)), file_(std::move(other.file_)), named_(other.named_), committed_(other.committed_) {
  other.committed_ = true;  // the moved-from object owns nothing
}

TempFile::~TempFile() {
  file_.Close();
  if (!committed_ && named_) unlink(path_.c_str());
}

bool TempFile::Write(const void* data, std::size_t size) {
  return file_ && (size == 0 || std::fwrite(data, 1, size, file_.get()) == size);
}

bool TempFile::CloseStream() { return GiveName() && file_.Close(); }

bool TempFile::CommitTo(const std::string& target, bool synced) {
  if (committed_ || !file_) return false;
  if (std::fflush(file_.get()) != 0) return false;
  if (synced && fsync(fileno(file_.get())) != 0) return false;
  // Named while still open: an unnamed file is named through its descriptor.
  if (!MoveTo(target)) return false;
  committed_ = true;
  if (!file_.Close()) return false;
  if (synced) {
    // The rename itself is only durable once the folder is.
    std::string folder = FolderOf(target);
    UniqueFd fd = UniqueFd::Open(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY);
    return fd && fsync(fd.get()) == 0;
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size, bool synced) {
  auto temp = TempFile::CreateUnnamedBeside(path);
  return temp && temp->Write(data, size) && temp->CommitTo(path, synced);
}

}  // namespace glimpses
