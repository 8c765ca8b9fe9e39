// glimpses-cli extract: the stored thumbnail of one document under a given
// name, or of several documents into a folder under the names the batch
// export gives them; why none was written, and with --verbose which route
// found each picture.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "extract/extract_thumbnail.h"

namespace glimpses {

namespace {

namespace fs = std::filesystem;

constexpr int kWritten = 0;
constexpr int kNothingFound = 1;
constexpr int kError = 2;

constexpr OptionInfo kOptions[] = {
    {"out-dir", 0, "DIR", "write each document's picture into DIR as NAME_T.jpg or NAME_T.png"},
    {"verbose", 'v', nullptr, "say which stored picture was written"},
};

// The output must go into an existing folder and must not be the document
// itself: writing the picture there would destroy the document.
bool CheckOutput(const std::string& document, const std::string& output) {
  fs::path folder = fs::path(output).parent_path();
  std::error_code error;
  if (!folder.empty() && !fs::is_directory(folder, error)) {
    std::fprintf(stderr, "glimpses-cli: cannot write '%s': no folder '%s'\n", output.c_str(), folder.c_str());
    return false;
  }
  if (fs::is_directory(output, error)) {
    std::fprintf(stderr, "glimpses-cli: cannot write '%s': it is a folder\n", output.c_str());
    return false;
  }
  if (fs::equivalent(document, output, error)) {
    std::fprintf(stderr, "glimpses-cli: refusing to write the thumbnail over the document '%s'\n", document.c_str());
    return false;
  }
  return true;
}

// Reports what the extraction of `document` did: the picture's path on
// stdout (and, when `verbose`, the route on stderr), or why there is none.
// The exit status that result alone asks for.
int Report(const std::string& document, const ExtractResult& result, bool verbose) {
  if (result.written()) {
    std::printf("%s\n", result.path.c_str());
    if (verbose) std::fprintf(stderr, "glimpses-cli: '%s': %s\n", document.c_str(), RouteName(result.route));
    return kWritten;
  }
  std::fprintf(stderr, "glimpses-cli: no thumbnail in '%s': %s\n", document.c_str(), DescribeFailure(result).c_str());
  bool ioError = result.status == ExtractStatus::kUnreadable || result.status == ExtractStatus::kCannotWrite ||
                 result.status == ExtractStatus::kOutputFull;
  return ioError ? kError : kNothingFound;
}

int ExtractOne(const std::string& document, const std::string& output, bool verbose) {
  if (!CheckDocument(document) || !CheckOutput(document, output)) return kError;
  return Report(document, TryExtractThumbnail(document, output), verbose);
}

int ExtractMany(const std::string& folder, const std::vector<std::string>& documents, bool verbose) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error || !fs::is_directory(folder, error)) {
    std::fprintf(stderr, "glimpses-cli: cannot create the folder '%s'\n", folder.c_str());
    return kError;
  }
  bool failed = false;
  int written = 0;
  for (const std::string& document : documents) {
    if (!CheckDocument(document)) {
      failed = true;
      continue;
    }
    ExtractResult result = TryExtractThumbnailInto(folder, document, fs::path(document).filename().string());
    int status = Report(document, result, verbose);
    failed = failed || status == kError;
    if (status == kWritten) ++written;
  }
  if (failed) return kError;
  return written > 0 ? kWritten : kNothingFound;
}

}  // namespace

// Says on stderr why `document` cannot be read; true when it can.
bool CheckDocument(const std::string& document) {
  struct stat st;
  if (stat(document.c_str(), &st) != 0) {
    std::fprintf(stderr, "glimpses-cli: cannot read '%s': %s\n", document.c_str(), std::strerror(errno));
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "glimpses-cli: '%s' is a folder, not a document\n", document.c_str());
    return false;
  }
  return true;
}

const Subcommand kExtractCommand = {"extract",
                                    "[OPTION]... DOCUMENT OUTPUT\n"
                                    "[OPTION]... --out-dir DIR DOCUMENT...",
                                    kOptions, false};

int RunExtractCommand(int argc, char** argv) {
  const ParsedArguments parsed = ParseArguments(argc, argv, kExtractCommand);
  if (parsed.exitStatus) return *parsed.exitStatus;
  const std::vector<std::string>& documents = parsed.operands;
  const bool verbose = parsed.Has("verbose");
  if (const std::optional<std::string> outDir = parsed.Value("out-dir")) {
    if (outDir->empty()) return UsageError(kExtractCommand, "--out-dir needs a folder");
    if (documents.empty()) return UsageError(kExtractCommand, "no documents given");
    return ExtractMany(*outDir, documents, verbose);
  }
  if (documents.size() != 2) return UsageError(kExtractCommand, "expected a document and an output path");
  return ExtractOne(documents[0], documents[1], verbose);
}

}  // namespace glimpses
