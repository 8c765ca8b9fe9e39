#include "thumbnailer/fallback_renderer.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "base/file_handle.h"
#include "base/file_util.h"
#include "extract/image.h"
#include "extract/image_scale.h"

namespace glimpses {

namespace {

// Drawing one page for a thumbnail takes a few tens of MB; PostScript that
// allocates in a loop took 1.2 GB within the timeout before it was capped.
constexpr rlim_t kRendererAddressSpace = rlim_t{1} << 30;
// A thumbnail is small; a PNG near this is not one. The renderer's writes
// stop here too, since its picture lives in memory.
constexpr std::size_t kMaxRenderedBytes = 64 << 20;
// Where the renderer finds its picture file, whatever number it has here.
constexpr int kPictureFd = 3;
// The renderer's exit status when it could not be started.
constexpr int kExecFailed = 127;

std::string FdPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// The renderer's PNG treated as any stored picture: decoded within the image
// service's bounds (absurd sizes are refused before anything is allocated),
// shrunk to fit `size` and encoded again, uncompressed since the file
// manager decodes OUTPUT once and re-encodes it into its cache.
Rendered Fitted(const Bytes& png, int size) {
  CImage picture;
  if (SniffImageFormat(png.data(), png.size()) != ImageFormat::kPng ||
      picture.LoadFromMemory(png.data(), png.size()) != ImageStatus::kOk) {
    return {RenderStatus::kFailed, {}};
  }
  CImage fitted = ScaleDownToFit(picture, size);
  if (fitted.IsNull()) return {RenderStatus::kFailed, {}};
  return {RenderStatus::kWritten, std::move(fitted)};
}

// Everything from here to the end of this namespace runs in forked
// processes, so only async-signal-safe calls.

// Lowers both limits of `resource` to at most `value`: the renderer cannot
// raise them again.
bool Cap(int resource, rlim_t value) {
  struct rlimit limit;
  if (getrlimit(resource, &limit) != 0) return false;
  limit.rlim_max = std::min(limit.rlim_max, value);
  limit.rlim_cur = limit.rlim_max;
  return setrlimit(resource, &limit) == 0;
}

[[noreturn]] void ExecRenderer(char* const argv[], int pictureFd, rlim_t cpuSeconds, const sigset_t& mask) {
  const bool capped =
      Cap(RLIMIT_AS, kRendererAddressSpace) && Cap(RLIMIT_CPU, cpuSeconds) && Cap(RLIMIT_FSIZE, kMaxRenderedBytes);
  // dup2 leaves the copy open across exec; a descriptor already numbered
  // right needs its close-on-exec flag cleared instead.
  const bool handed =
      pictureFd == kPictureFd ? fcntl(pictureFd, F_SETFD, 0) == 0 : dup2(pictureFd, kPictureFd) == kPictureFd;
  const int null = open("/dev/null", O_RDWR);
  if (!capped || !handed || null < 0) _exit(kExecFailed);
  for (int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(null, stream);
  if (null > STDERR_FILENO) close(null);
  sigprocmask(SIG_SETMASK, &mask, nullptr);
  execv(argv[0], argv);
  _exit(kExecFailed);
}

timespec After(int milliseconds) {
  timespec time;
  clock_gettime(CLOCK_MONOTONIC, &time);
  time.tv_sec += milliseconds / 1000;
  time.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000;
  if (time.tv_nsec >= 1000000000) time.tv_sec += 1, time.tv_nsec -= 1000000000;
  return time;
}

// The time left until `deadline`; false when none is.
bool TimeLeft(const timespec& deadline, timespec& left) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  left.tv_sec = deadline.tv_sec - now.tv_sec;
  left.tv_nsec = deadline.tv_nsec - now.tv_nsec;
  if (left.tv_nsec < 0) left.tv_sec -= 1, left.tv_nsec += 1000000000;
  return left.tv_sec > 0 || (left.tv_sec == 0 && left.tv_nsec > 0);
}

// How the renderer ended: waits for it until `deadline`, or until one of
// the other `wake` signals says to stop (the parent died, or the terminal
// interrupted us).
RenderStatus WaitForRenderer(pid_t renderer, const timespec& deadline, const sigset_t& wake) {
  for (;;) {
    int status = 0;
    pid_t done = waitpid(renderer, &status, WNOHANG);
    if (done == renderer) {
      if (!WIFEXITED(status)) return RenderStatus::kFailed;
      if (WEXITSTATUS(status) == kExecFailed) return RenderStatus::kNotStarted;
      return WEXITSTATUS(status) == 0 ? RenderStatus::kWritten : RenderStatus::kFailed;
    }
    if (done < 0 && errno != EINTR) return RenderStatus::kFailed;
    timespec left;
    if (!TimeLeft(deadline, left)) return RenderStatus::kTimedOut;
    const int woken = sigtimedwait(&wake, nullptr, &left);
    if (woken > 0 && woken != SIGCHLD) return RenderStatus::kFailed;
  }
}

// Sends SIGKILL to every child of this single-threaded process; how many
// /proc listed, or -1 when it cannot tell. A long list is cut at the buffer,
// never inside a number: the rest waits for the next call.
int KillChildren() {
  const int list = open("/proc/thread-self/children", O_RDONLY | O_CLOEXEC);
  if (list < 0) return -1;
  char text[4096];
  const ssize_t length = read(list, text, sizeof text);
  close(list);
  if (length < 0) return -1;
  int killed = 0;
  pid_t pid = 0;
  for (ssize_t i = 0; i < length; ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      pid = pid * 10 + (text[i] - '0');
      continue;
    }
    if (pid > 0 && kill(pid, SIGKILL) == 0) ++killed;
    pid = 0;
  }
  return killed;
}

// As the subreaper, this process receives every orphan of the renderer's
// tree, `setsid` or not, when its parent dies; so the tree is gone exactly
// when no child is left. Killed children stay listed until reaped, and each
// reaped one may have handed us its own children: one reap per round.
void EndDescendants() {
  while (KillChildren() > 0) {
    while (waitpid(-1, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

// The warden between us and the renderer. A subreaper rather than a cgroup:
// it needs no privilege, no systemd and no /sys, so it works as well inside
// GNOME's bubblewrap sandbox, and a fork costs less than a cgroup. Reports
// the RenderStatus as its exit status.
[[noreturn]] void RunWarden(char* const argv[], int pictureFd, int timeoutMs, pid_t parent) {
  const timespec deadline = After(timeoutMs);
  sigset_t wake, original;
  sigemptyset(&wake);
  for (int number : {SIGCHLD, SIGTERM, SIGINT, SIGHUP}) sigaddset(&wake, number);
  sigprocmask(SIG_BLOCK, &wake, &original);
  // An ignored SIGCHLD would reap our children behind our back.
  signal(SIGCHLD, SIG_DFL);
  if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0 || prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) {
    _exit(static_cast<int>(RenderStatus::kNotStarted));
  }
  const pid_t renderer = fork();
  if (renderer < 0) _exit(static_cast<int>(RenderStatus::kNotStarted));
  if (renderer == 0) ExecRenderer(argv, pictureFd, static_cast<rlim_t>((timeoutMs + 999) / 1000), original);
  const RenderStatus outcome = WaitForRenderer(renderer, deadline, wake);
  // Not reaped yet, so the number is still the renderer's: safe to kill even
  // where /proc cannot list the rest.
  if (waitpid(renderer, nullptr, WNOHANG) == 0) kill(renderer, SIGKILL);
  EndDescendants();
  _exit(static_cast<int>(outcome));
}

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

Rendered RenderWith(const FallbackRenderer& renderer, const std::string& documentPath, int size) {
  UniqueFd picture(memfd_create("glimpses-rendered", MFD_CLOEXEC));
  if (!picture) return {RenderStatus::kNotStarted, {}};
  std::vector<std::string> args = {renderer.program, "-s", std::to_string(size), documentPath, FdPath(kPictureFd)};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const pid_t self = getpid();
  const pid_t warden = fork();
  if (warden < 0) return {RenderStatus::kNotStarted, {}};
  if (warden == 0) RunWarden(argv.data(), picture.get(), renderer.timeoutMs, self);
  int status = 0;
  while (waitpid(warden, &status, 0) < 0) {
    if (errno != EINTR) return {RenderStatus::kFailed, {}};
  }
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (code < 0 || code > static_cast<int>(RenderStatus::kNotStarted)) return {RenderStatus::kFailed, {}};
  if (static_cast<RenderStatus>(code) != RenderStatus::kWritten) return {static_cast<RenderStatus>(code), {}};
  // Every process that could write it is gone: what we read is final.
  auto png = ReadWholeFile(FdPath(picture.get()), kMaxRenderedBytes);
  return png ? Fitted(*png, size) : Rendered{RenderStatus::kFailed, {}};
}

}  // namespace glimpses
