// File-system helpers every module shares: existence and length tests,
// reads, and output files that appear whole or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "base/file_handle.h"

namespace glimpses {

using Bytes = std::vector<std::uint8_t>;

// True when `path` names an existing entry that is not a directory.
// '*' and '?' are ordinary characters.
bool FileExists(const std::string& path);

// True when `path` names a regular file (links followed): the only kind of
// entry read as a document, since a FIFO or a device could block forever.
bool IsRegularFile(const std::string& path);

// The file's length in bytes; -1 when it cannot be opened or is not a
// regular file (a FIFO or a device is never waited on).
std::int64_t FileLength(const std::string& path);

// Reads up to `size` bytes at `offset`; fewer when the file is shorter.
// nullopt when the file cannot be opened or read.
std::optional<Bytes> ReadFileRange(const std::string& path, std::int64_t offset, std::size_t size);

// The whole file, or nullopt when it is missing, unreadable or above `limit` bytes.
std::optional<Bytes> ReadWholeFile(const std::string& path, std::size_t limit);

// A file made in the folder of `beside` under a fresh hidden name
// (".name.XXXXXXXX.tmp"), removed by the destructor unless committed. It
// never touches an existing file: every name is new and made exclusively.
class TempFile {
 public:
  static std::optional<TempFile> CreateBeside(const std::string& beside);
  // The same, but where the system allows the file has no name while it is
  // written (O_TMPFILE), so a process killed meanwhile leaves nothing behind;
  // it gets its hidden name only when its stream is closed or it is
  // committed over an existing file, and path() is that name to be.
  // Committed to a name no file has, it takes that name in one step, so
  // that a process killed at any moment leaves nothing behind.
  static std::optional<TempFile> CreateUnnamedBeside(const std::string& beside);
  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&&) = delete;
  TempFile(const TempFile&) = delete;
  ~TempFile();

  const std::string& path() const { return path_; }
  std::FILE* stream() const { return file_.get(); }
  bool Write(const void* data, std::size_t size);
  // Flushes and closes the stream (naming an unnamed file); the file stays
  // until destruction or Commit.
  bool CloseStream();
  // Renames the file over `target`, then closes it; after success the
  // destructor leaves it alone. With `synced`, the data reach the disk
  // before the rename and the rename before the call returns.
  bool CommitTo(const std::string& target, bool synced = false);

 private:
  TempFile(std::string path, File file, bool named) : path_(std::move(path)), file_(std::move(file)), named_(named) {}
  std::string SelfPath() const;
  bool GiveName();
  bool MoveTo(const std::string& target);

  std::string path_;
  File file_;
  bool named_ = false;
  bool committed_ = false;
};

// Writes `size` bytes to `path` through a temporary file and a rename, so
// readers see the old file or the whole new one. False, with nothing left
// behind, on any error. Pictures are cheap to write again; a file that must
// survive a power cut (the settings) asks for `synced` (see CommitTo).
bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size, bool synced = false);

}  // namespace glimpses
