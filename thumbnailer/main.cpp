// glimpses-thumbnailer [-s SIZE] INPUT OUTPUT: the freedesktop thumbnailer
// that file managers run for Illustrator, InDesign, EPS and CorelDRAW
// documents. Exit 0: OUTPUT written; 1: the document holds no picture;
// 2: bad usage or an I/O error. One line on standard error when not 0.
#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "thumbnailer/thumbnailer.h"

namespace {

constexpr const char* kUsage = "usage: glimpses-thumbnailer [-s SIZE] INPUT OUTPUT";

// SIZE as a whole number from 1 to kMaxThumbnailSize, or 0.
int ParseSize(const char* text) {
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > glimpses::kMaxThumbnailSize) return 0;
  return static_cast<int>(value);
}

int Fail(int code, const std::string& line) {
  std::fprintf(stderr, "glimpses-thumbnailer: %s\n", line.c_str());
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  glimpses::ThumbnailRequest request;
  opterr = 0;  // one line of our own instead of getopt's
  for (int option; (option = getopt(argc, argv, "s:")) != -1;) {
    if (option != 's' || (request.size = ParseSize(optarg)) == 0) return Fail(2, kUsage);
  }
  if (argc - optind != 2) return Fail(2, kUsage);
  request.documentPath = argv[optind];
  request.outputPath = argv[optind + 1];
  if (!glimpses::LimitResources()) return Fail(2, "cannot set resource limits");
  request.renderer = glimpses::FindInstalledRenderer();
  glimpses::ThumbnailResult result = glimpses::WriteThumbnail(request);
  if (result.status == glimpses::ThumbnailStatus::kWritten) return 0;
  return Fail(static_cast<int>(result.status), request.documentPath + ": " + result.message);
}
