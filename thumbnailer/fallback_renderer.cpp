#include "fallback_renderer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "file_util.h"
#include "image.h"

namespace glimpses {

namespace {

using Clock = std::chrono::steady_clock;

// Runs in the child between fork and exec, so only async-signal-safe calls.
[[noreturn]] void ExecRenderer(char* const argv[]) {
  setpgid(0, 0);
  // The parent lowered only its soft limits, for its own parsing; the
  // renderer gets what the system allows.
  for (int resource : {RLIMIT_AS, RLIMIT_CPU}) {
    struct rlimit limit;
    if (getrlimit(resource, &limit) == 0) {
      limit.rlim_cur = limit.rlim_max;
      setrlimit(resource, &limit);
    }
  }
  int null = open("/dev/null", O_RDWR);
  if (null >= 0) {
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
  }
  execv(argv[0], argv);
  _exit(127);
}

// Waits for `child` until `deadline`; -1 when it is still running then.
int WaitUntil(pid_t child, Clock::time_point deadline) {
  const struct timespec pause = {0, 2 * 1000 * 1000};
  for (;;) {
    int status = 0;
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    if (done < 0) return 128;
    if (Clock::now() >= deadline) return -1;
    nanosleep(&pause, nullptr);
  }
}

bool IsDecodablePng(const Bytes& data) {
  CImage image;
  return SniffImageFormat(data.data(), data.size()) == ImageFormat::kPng &&
         image.LoadFromMemory(data.data(), data.size()) == ImageStatus::kOk;
}

// A thumbnail is small; anything near this is not one.
constexpr std::size_t kMaxRenderedBytes = 64 << 20;

}  // namespace

bool RendererHandles(const std::string& kind) { return kind == "ai" || kind == "eps" || kind == "pdf"; }

std::optional<FallbackRenderer> FindInstalledRenderer() {
  const char* path = std::getenv("PATH");
  std::string_view folders = path && *path ? path : "/usr/bin:/bin";
  while (!folders.empty()) {
    std::string_view folder = folders.substr(0, folders.find(':'));
    folders.remove_prefix(std::min(folders.size(), folder.size() + 1));
    if (folder.empty() || folder.front() != '/') continue;
    std::string candidate = std::string(folder) + "/evince-thumbnailer";
    if (IsRegularFile(candidate) && access(candidate.c_str(), X_OK) == 0) return FallbackRenderer{candidate};
  }
  return std::nullopt;
}

Rendered RenderWith(const FallbackRenderer& renderer, const std::string& documentPath, int size,
                    const std::string& outputPath) {
  auto temp = TempFile::CreateBeside(outputPath);
  if (!temp) return {RenderStatus::kNotStarted, {}};
  std::string sizeText = std::to_string(size);
  std::vector<std::string> args = {renderer.program, "-s", sizeText, documentPath, temp->path()};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const auto deadline = Clock::now() + std::chrono::milliseconds(renderer.timeoutMs);
  pid_t child = fork();
  if (child < 0) return {RenderStatus::kNotStarted, {}};
  if (child == 0) ExecRenderer(argv.data());
  // Set from both sides, so that the group exists before we may kill it.
  setpgid(child, child);
  int exitCode = WaitUntil(child, deadline);
  if (exitCode < 0) {
    kill(-child, SIGKILL);
    waitpid(child, nullptr, 0);
    return {RenderStatus::kTimedOut, {}};
  }
  if (exitCode == 127) return {RenderStatus::kNotStarted, {}};
  auto png = exitCode == 0 ? ReadWholeFile(temp->path(), kMaxRenderedBytes) : std::nullopt;
  if (!png || !IsDecodablePng(*png)) return {RenderStatus::kFailed, {}};
  return {RenderStatus::kWritten, std::move(*png)};
}

}  // namespace glimpses
