#include "bench/bench_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include "base/file_handle.h"

namespace glimpses::bench {
namespace {

constexpr int kTopFolders = 100;
constexpr int kSubFolders = 1000;  // in each top folder
constexpr int kFilesPerFolder = 9;
constexpr const char* kStamp = ".glimpses-bench-complete";

const char* const kWords[] = {"alpha",   "bravo",  "report", "design", "invoice", "poster", "logo",   "brochure",
                              "catalog", "flyer",  "banner", "summer", "winter",  "spring", "autumn", "client",
                              "draft",   "final",  "print",  "web",    "menu",    "card",   "label",  "package",
                              "cover",   "book",   "map",    "sign",   "ticket",  "badge",  "letter", "memo",
                              "plan",    "sketch", "photo",  "icon",   "chart",   "slide",  "sheet",  "form"};
const char* const kExtensions[] = {"pdf", "pdf", "pdf", "pdf", "ai",  "ai",  "eps", "indd", "cdr", "CDR",
                                   "txt", "txt", "txt", "jpg", "jpg", "jpg", "jpg", "png",  "png", "docx"};

std::string TopName(int top) {
  char name[64];
  std::snprintf(name, sizeof name, "Projects %02d", top);
  return name;
}

std::string SubName(int top, int sub) {
  char name[64];
  std::snprintf(name, sizeof name, "%s %03d", kWords[(top + sub) % std::size(kWords)], sub);
  return name;
}

bool GenerateTree(const std::string& root) {
  std::mt19937 random(1234567);
  std::uniform_int_distribution<int> word(0, std::size(kWords) - 1);
  std::uniform_int_distribution<int> ext(0, std::size(kExtensions) - 1);
  ::mkdir(root.c_str(), 0755);
  const UniqueFd rootFd = UniqueFd::Open(root, O_RDONLY | O_DIRECTORY);
  if (!rootFd) return false;
  long fileNumber = 0;
  for (int top = 0; top < kTopFolders; ++top) {
    const std::string topName = TopName(top);
    ::mkdirat(rootFd.get(), topName.c_str(), 0755);
    const UniqueFd topFd(::openat(rootFd.get(), topName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!topFd) return false;
    for (int sub = 0; sub < kSubFolders; ++sub) {
      const std::string subName = SubName(top, sub);
      ::mkdirat(topFd.get(), subName.c_str(), 0755);
      const UniqueFd subFd(::openat(topFd.get(), subName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (!subFd) return false;
      for (int f = 0; f < kFilesPerFolder; ++f, ++fileNumber) {
        std::string first = kWords[word(random)];
        if (fileNumber % 3 == 0) first[0] = static_cast<char>(first[0] - 32);
        // A few files carry two rare words, for the rare query.
        const std::string second = fileNumber % 50000 == 7 ? "quasar nebula" : kWords[word(random)];
        const std::string name =
            first + " " + second + " " + std::to_string(fileNumber) + "." + kExtensions[ext(random)];
        if (!UniqueFd(::openat(subFd.get(), name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644))) return false;
      }
    }
  }
  UniqueFd(::openat(rootFd.get(), kStamp, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  return true;
}

}  // namespace

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

bool EnsureTree(const std::string& root) {
  if (::access((root + "/" + kStamp).c_str(), F_OK) == 0) return true;
  std::printf("generating %d entries under %s ...\n", kTopFolders * (1 + kSubFolders * (1 + kFilesPerFolder)),
              root.c_str());
  std::fflush(stdout);
  const auto start = Clock::now();
  if (!GenerateTree(root)) {
    std::fprintf(stderr, "cannot generate the tree under %s\n", root.c_str());
    return false;
  }
  std::printf("generated in %.1f s\n", Ms(Clock::now() - start) / 1000);
  return true;
}

std::string TreeFolder(int top, int sub) { return TopName(top) + "/" + SubName(top, sub); }

void PrintLoad() {
  std::ifstream loadavg("/proc/loadavg");
  std::string one, five;
  loadavg >> one >> five;
  std::printf("load average %s %s on %ld cores: other work on the machine slows every figure\n", one.c_str(),
              five.c_str(), ::sysconf(_SC_NPROCESSORS_ONLN));
}

}  // namespace glimpses::bench
