#include "search/plocate_backend.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "base/file_handle.h"
#include "base/path.h"
#include "search/answer_order.h"
#include "search/entry_facts.h"

extern char** environ;

namespace glimpses {
namespace {

// Every plocate database starts with this.
constexpr char kPlocateMagic[8] = {'\0', 'p', 'l', 'o', 'c', 'a', 't', 'e'};

bool IsPlocateDatabase(const std::string& path) {
  const UniqueFd fd = UniqueFd::Open(path, O_RDONLY);
  if (!fd) return false;
  char head[sizeof kPlocateMagic];
  const ssize_t got = ::read(fd.get(), head, sizeof head);
  return got == static_cast<ssize_t>(sizeof head) && std::memcmp(head, kPlocateMagic, sizeof head) == 0;
}

// plocate reads a pattern holding any of these as a glob, not a literal.
bool IsPlainLiteral(std::string_view text) {
  return !text.empty() && text.find_first_of("*?[\\") == std::string_view::npos;
}

// Runs the program without a shell and returns its standard output and exit
// status; nullopt when it cannot be started or does not exit normally.
std::optional<std::pair<std::string, int>> RunAndRead(const std::vector<std::string>& args) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
  UniqueFd readEnd(pipeFds[0]);
  UniqueFd writeEnd(pipeFds[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  // Only the child may hold the write end, or the reading never ends.
  writeEnd.Close();
  if (spawned != 0) return std::nullopt;
  std::string output;
  char buffer[65536];
  while (true) {
    const ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
    if (got > 0) {
      output.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  readEnd.Close();
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return std::nullopt;
  }
  if (!WIFEXITED(status)) return std::nullopt;
  return std::pair{std::move(output), WEXITSTATUS(status)};
}

// The root that holds `path` strictly below it, or nullptr.
const std::string* RootOf(std::string_view path, const std::vector<std::string>& roots) {
  for (const std::string& root : roots) {
    if (root == "/") {
      if (path.size() > 1 && path.front() == '/') return &root;
      continue;
    }
    if (path.size() > root.size() + 1 && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/')
      return &root;
  }
  return nullptr;
}

bool HasHiddenComponent(std::string_view relative) {
  if (!relative.empty() && relative.front() == '.') return true;
  return relative.find("/.") != std::string_view::npos;
}

}  // namespace

std::string DefaultPlocateDatabase() { return "/var/lib/plocate/plocate.db"; }

bool ProgramAvailable(const std::string& program) {
  if (program.empty()) return false;
  if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr ? path : "/usr/bin:/bin";
  while (true) {
    const std::size_t colon = dirs.find(':');
    std::string_view dir = dirs.substr(0, colon);
    if (dir.empty()) dir = ".";
    if (::access(JoinPath(dir, program).c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) return false;
    dirs.remove_prefix(colon + 1);
  }
}

namespace {

bool Excluded(const ExcludedFolders& excluded, const std::string& path) {
  if (excluded.empty()) return false;
  struct stat st {};
  const bool isFolder = ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  return excluded.ExcludesEntry(path, isFolder);
}

}  // namespace

SearchAnswer QueryPlocate(const Query& query, const PlocateOptions& options) {
  const std::string database = options.database.empty() ? DefaultPlocateDatabase() : options.database;
  if (!IsPlocateDatabase(database)) return std::nullopt;
  std::vector<std::string> roots;
  for (const std::string& root : options.roots) {
    struct stat st {};
    if (::stat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) roots.push_back(root);
  }
  if (roots.empty()) return std::nullopt;

  std::vector<std::string> args{options.program, "-i", "-0", "-d", database, "--"};
  for (std::string& literal : query.RequiredPathLiterals())
    if (IsPlainLiteral(literal)) args.push_back(std::move(literal));
  // With nothing to narrow by, a "/" lists every path in the database.
  if (args.size() == 6) args.push_back("/");
  std::optional<std::pair<std::string, int>> run = RunAndRead(args);
  // 1 is also what plocate says when nothing matched; the database was
  // checked above, so it means an empty answer here.
  if (!run || (run->second != 0 && run->second != 1)) return std::nullopt;

  std::vector<SearchResult> results;
  std::string_view output = run->first;
  std::string foldedPath;
  while (!output.empty()) {
    const std::size_t end = output.find('\0');
    const std::string_view path = output.substr(0, end);
    output.remove_prefix(end == std::string_view::npos ? output.size() : end + 1);
    const std::string* root = RootOf(path, roots);
    if (root == nullptr) continue;
    const std::size_t relativeStart = *root == "/" ? 1 : root->size() + 1;
    if (!options.includeHidden && HasHiddenComponent(path.substr(relativeStart))) continue;
    const std::size_t slash = path.rfind('/');
    SearchResult result{std::string(path.substr(slash + 1)),
                        slash == 0 ? std::string("/") : std::string(path.substr(0, slash))};
    const std::string foldedName = FoldCase(result.fileName);
    const std::string fullPath(path);
    EntryView view{foldedName, false, {}, result.fileName, fullPath, {}};
    view.facts = [&] { return ReadEntryFacts(fullPath); };
    if (query.UsesKind()) {
      struct stat st {};
      view.isFolder = ::lstat(std::string(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    if (query.UsesPath()) {
      foldedPath = FoldCase(path);
      view.foldedPath = foldedPath;
    }
    if (!query.Matches(view) || Excluded(options.excluded, fullPath)) continue;
    results.push_back(std::move(result));
  }
  FillFacts(results);
  SortAnswer(results);
  return results;
}

}  // namespace glimpses
