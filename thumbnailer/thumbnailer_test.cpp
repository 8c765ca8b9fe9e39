#include "thumbnailer/thumbnailer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "extract/image_scale.h"
#include "samples/adobe_samples.h"
#include "samples/corel_samples.h"
#include "samples/hostile_samples.h"
#include "samples/scratch_dir.h"

namespace glimpses {
namespace {

struct ProgramRun {
  int exitCode = -1;
  std::string err;
};

Bytes AdobeDocument(DocumentKind kind, int width, int height) {
  AdobeSampleOptions options;
  options.kind = kind;
  options.thumbnailWidth = width;
  options.thumbnailHeight = height;
  return BuildAdobeDocument(SampleJpeg(width, height, width + height), options);
}

// Replaces this (forked) process with the built program, given `args`,
// $PATH set to `path` and, when not empty, $XDG_RUNTIME_DIR to `runtime`.
[[noreturn]] void ExecThumbnailer(const std::vector<std::string>& args, const std::string& path,
                                  const std::string& runtime) {
  std::vector<std::string> all = {GLIMPSES_THUMBNAILER};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::string pathVariable = "PATH=" + path, runtimeVariable = "XDG_RUNTIME_DIR=" + runtime;
  char* env[] = {pathVariable.data(), runtime.empty() ? nullptr : runtimeVariable.data(), nullptr};
  execve(argv[0], argv.data(), env);
  _exit(127);
}

// Runs the built program with `args`, its standard error captured, and
// $PATH set to `path`: by default one without evince-thumbnailer, so that
// what the program does alone is what is tested.
ProgramRun RunThumbnailer(const std::vector<std::string>& args, const std::string& path = "/nonexistent",
                          const std::string& runtime = "") {
  char errPath[] = "/tmp/glimpses-thumbnailer-err-XXXXXX";
  int errFd = mkstemp(errPath);
  pid_t child = fork();
  if (child == 0) {
    dup2(errFd, STDERR_FILENO);
    ExecThumbnailer(args, path, runtime);
  }
  close(errFd);
  int status = 0;
  waitpid(child, &status, 0);
  ProgramRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (auto err = ReadWholeFile(errPath, 1 << 20)) run.err.assign(err->begin(), err->end());
  unlink(errPath);
  return run;
}

bool IsOneErrorLine(const std::string& err) {
  return err.starts_with("glimpses-thumbnailer: ") && err.find('\n') == err.size() - 1;
}

using ThumbnailerTest = ScratchDirTest;

TEST_F(ThumbnailerTest, EverySizeFitsTheLongerEdgeAndNeverEnlarges) {
  struct Sample {
    std::string name;
    Bytes bytes;
    int width, height;  // of the stored picture
  };
  // Every kind the entry claims, under the names file managers hand over:
  // the GNOME sandbox's own, capitals, no extension at all.
  std::vector<Sample> samples = {
      {"gnome-desktop-file-to-thumbnail.ai", AdobeDocument(DocumentKind::kIllustrator, 256, 181), 256, 181},
      {"brochure.indd", AdobeDocument(DocumentKind::kInDesign, 181, 256), 181, 256},
      {"logo.EPS", AdobeDocument(DocumentKind::kEps, 200, 150), 200, 150},
      {"PLAN.Ai", AdobeDocument(DocumentKind::kIllustrator, 128, 128), 128, 128},
      {"badge hex.ai", BuildHexPreviewAi(105, 80, true), 105, 80},
      {"riff-8bpp.cdr", BuildCorelRiff(1300, {{"DISP", SampleDispData(40, 30, 8), std::nullopt}}), 40, 30},
      {"no extension", BuildCorelRiff(1300, {{"DISP", SampleDispData(40, 30, 24), std::nullopt}}), 40, 30},
  };
  for (const auto& sample : samples) Write(sample.name, sample.bytes);
  ASSERT_TRUE(WriteCorelZip(Path("zip.CDR"), {{"metadata/thumbnails/thumbnail.bmp", SampleBmpFile(64, 48, 24)}}));
  samples.push_back({"zip.CDR", {}, 64, 48});

  for (const auto& sample : samples) {
    for (int size : {128, 256, 512, 1024, 1, 33, 100, 181, 255, 257, 999}) {
      SCOPED_TRACE(sample.name + " at " + std::to_string(size));
      const std::string out = Path("out.png");
      ProgramRun run = RunThumbnailer({"-s", std::to_string(size), Path(sample.name), out});
      ASSERT_EQ(run.exitCode, 0) << run.err;
      EXPECT_EQ(run.err, "");
      CImage thumbnail;
      ASSERT_EQ(thumbnail.LoadFromFile(out), ImageStatus::kOk);
      EXPECT_EQ((ImageSize{thumbnail.Width(), thumbnail.Height()}), FitWithin(sample.width, sample.height, size));
      unlink(out.c_str());
    }
  }
}

TEST_F(ThumbnailerTest, KindComesFromTheNameInAnyCaseElseFromTheFirstBytes) {
  using namespace std::string_literals;
  const std::string inDesignId("\x06\x06\xED\xF5\xD8\x1D\x46\xE5\xBD\x31\xEF\xE7\xFE\x74\xB7\x1D", 16);
  struct Case {
    const char* name;
    std::string bytes;
    const char* kind;
  } cases[] = {
      {"plan.Indd", "anything", "indd"},
      {"PLAN.CDR", "", "cdr"},
      {"logo.Eps", "%PDF-1.4", "eps"},
      {"layout", inDesignId + "rest", "indd"},
      {"page", "%PDF-1.7\n", "pdf"},
      {"art.txt", "%!PS-Adobe-3.0 EPSF", "eps"},
      {"dos", "\xC5\xD0\xD3\xC6 binary", "eps"},
      {"drawing", "PK\x03\x04 zip", "cdr"},
      {"old drawing", "RIFF\x10\0\0\0CDRDvrsn"s, "cdr"},
      {"sound", "RIFF\x10\0\0\0WAVEfmt "s, ""},
      {".ai", "%!PS-Adobe", "eps"},
      {"short", "RIFF", ""},
      {"notes.txt", "hello", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(KindName(DocumentKindOf(Write(c.name, c.bytes))), c.kind) << c.name;
  EXPECT_EQ(DocumentKindOf(Path("missing")), DocumentKind::kNone);
}

TEST_F(ThumbnailerTest, HostileDocumentsGiveOneOrTwoAndNoOutput) {
  Bytes indd = AdobeDocument(DocumentKind::kInDesign, 181, 256);
  Bytes hugeDisp = SampleDispData(8, 8, 8);
  for (int at : {8, 12}) hugeDisp[at] = 0x60, hugeDisp[at + 1] = 0xEA;  // 60000 x 60000
  std::string badJpeg = "\xFF\xD8\xFF\xE0 this is no JPEG at all";
  struct Case {
    const char* name;
    std::optional<Bytes> bytes;  // nullopt: made by hand below
    int exitCode;
  } cases[] = {
      {"empty.ai", Bytes{}, 1},
      {"garbage.cdr", Bytes(5000, 0xA5), 1},
      {"truncated.indd", Bytes(indd.begin(), indd.begin() + 2000), 1},
      {"no thumbnail.indd", BuildDocumentWithoutThumbnail(DocumentKind::kInDesign, 40000), 1},
      {"bad jpeg.ai", BuildAdobeDocument(Bytes(badJpeg.begin(), badJpeg.end()), {DocumentKind::kIllustrator}), 1},
      {"huge picture.cdr", BuildCorelRiff(1300, {{"DISP", hugeDisp, std::nullopt}}), 1},
      {"disp past end.cdr", BuildCorelRiff(1100, {{"DISP", SampleDispData(8, 8, 8), 0x7FFFFFF0u}}), 1},
      {"notes.txt", Bytes{'h', 'i'}, 1},
      {"missing.ai", std::nullopt, 2},
      {"folder.ai", std::nullopt, 2},
      {"pipe.cdr", std::nullopt, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.bytes) Write(c.name, *c.bytes);
    if (std::string(c.name) == "folder.ai") {
      ASSERT_EQ(mkdir(Path(c.name).c_str(), 0700), 0);
    }
    if (std::string(c.name) == "pipe.cdr") {
      ASSERT_EQ(mkfifo(Path(c.name).c_str(), 0600), 0);
    }
    auto before = Names();
    ProgramRun run = RunThumbnailer({"-s", "256", Path(c.name), Path("out.png")});
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_TRUE(IsOneErrorLine(run.err)) << run.err;
    EXPECT_EQ(Names(), before);  // no OUTPUT, no temporary left behind
  }
}

TEST_F(ThumbnailerTest, BadUsageGivesTwo) {
  const std::string doc = Write("plan.ai", AdobeDocument(DocumentKind::kIllustrator, 64, 64));
  const std::string out = Path("out.png");
  const std::vector<std::vector<std::string>> usages = {{},
                                                        {doc},
                                                        {"-s"},
                                                        {"-s", "0", doc, out},
                                                        {"-s", "-5", doc, out},
                                                        {"-s", "12x", doc, out},
                                                        {"-s", "4097", doc, out},
                                                        {doc, out, "extra"},
                                                        {"-x", doc, out}};
  for (const auto& args : usages) {
    ProgramRun run = RunThumbnailer(args);
    EXPECT_EQ(run.exitCode, 2) << ::testing::PrintToString(args);
    EXPECT_TRUE(IsOneErrorLine(run.err)) << run.err;
  }
  EXPECT_FALSE(FileExists(out));
  EXPECT_EQ(RunThumbnailer({doc, out}).exitCode, 0);  // SIZE may be left out
}

TEST_F(ThumbnailerTest, ExistingOutputIsReplacedWholeOrKept) {
  const std::string out = Write("thumbnail.png", std::string("an earlier thumbnail"));
  const std::string empty = Write("empty.cdr", Bytes{});
  EXPECT_EQ(RunThumbnailer({"-s", "128", empty, out}).exitCode, 1);
  EXPECT_EQ(ReadWholeFile(out, 100), (Bytes{'a', 'n', ' ', 'e', 'a', 'r', 'l', 'i', 'e', 'r',
                                            ' ', 't', 'h', 'u', 'm', 'b', 'n', 'a', 'i', 'l'}));

  const std::string doc = Write("plan.ai", AdobeDocument(DocumentKind::kIllustrator, 200, 100));
  EXPECT_EQ(RunThumbnailer({"-s", "128", doc, out}).exitCode, 0);
  CImage thumbnail;
  ASSERT_EQ(thumbnail.LoadFromFile(out), ImageStatus::kOk);
  EXPECT_EQ(thumbnail.Width(), 128);
  EXPECT_EQ(Names(), (std::set<std::string>{"thumbnail.png", "empty.cdr", "plan.ai"}));

  // tumbler makes an empty OUTPUT and reads the picture back through the
  // descriptor it keeps: the PNG must land in that very file.
  const std::string placeholder = Write("tumbler-1234.png", std::string());
  int held = open(placeholder.c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  EXPECT_EQ(RunThumbnailer({"-s", "128", empty, placeholder}).exitCode, 1);
  struct stat status;
  ASSERT_EQ(fstat(held, &status), 0);
  EXPECT_EQ(status.st_size, 0);
  EXPECT_EQ(RunThumbnailer({"-s", "128", doc, placeholder}).exitCode, 0);
  ASSERT_EQ(fstat(held, &status), 0);
  Bytes through(static_cast<std::size_t>(status.st_size));
  EXPECT_EQ(pread(held, through.data(), through.size(), 0), status.st_size);
  close(held);
  EXPECT_EQ(through, ReadWholeFile(out, 1 << 20));

  ProgramRun run = RunThumbnailer({"-s", "128", doc, Path("no such folder/out.png")});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(IsOneErrorLine(run.err)) << run.err;
}

// The documents built to make a reader work without end, and the output
// traps: each run ends with its exit status and one line saying why, leaves
// nothing in the output folder or the runtime folder, and leaves the document
// as it was.
TEST_F(ThumbnailerTest, HostileDocumentsAndOutputTrapsAreRefusedAndLeaveNothing) {
  scratch_.Make({"docs/", "out/", "runtime/", "locked/"});
  // Root writes into any folder: a missing one stands in for a read-only one.
  const bool root = geteuid() == 0;
  ASSERT_TRUE(root || chmod(Path("locked").c_str(), 0555) == 0);
  const std::string unwritable = Path(root ? "missing/thumbnail.png" : "locked/thumbnail.png");
  enum class Output { kInFolder, kTheDocument, kLinkToTheDocument, kInUnwritableFolder };
  const struct Row {
    HostileDocument document;
    Output output;
    int exitCode;
    const char* reason;
  } rows[] = {
      {InddOfShortThumbnails(), Output::kInFolder, 1, "more InDesign thumbnail fragments than are tried"},
      {SparseCorelRiff(), Output::kInFolder, 1, "no stored picture"},
      {ProgressiveXmpThumbnail(DocumentKind::kIllustrator, 8192), Output::kInFolder, 1, "does not decode"},
      {ProgressiveXmpThumbnail(DocumentKind::kIllustrator, 2048), Output::kInFolder, 1, "does not decode"},
      {ProgressiveXmpThumbnail(DocumentKind::kInDesign, 8192), Output::kInFolder, 1, "does not decode"},
      {ProgressiveXmpThumbnail(DocumentKind::kInDesign, 2048), Output::kInFolder, 1, "does not decode"},
      {DosEpsWithHugeTiff(false), Output::kInFolder, 1, "TIFF preview does not decode"},
      {DosEpsWithHugeTiff(true), Output::kInFolder, 1, "does not decode"},
      {HexPreviewDocument(), Output::kTheDocument, 2, "OUTPUT is the document itself"},
      {HexPreviewDocument(), Output::kLinkToTheDocument, 2, "OUTPUT is the document itself"},
      {DocumentWithoutPicture(), Output::kInUnwritableFolder, 2, "cannot write"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.document.name);
    const std::string document = WriteHostileDocument(Path("docs"), row.document);
    ASSERT_FALSE(document.empty());
    std::string output = Path("out/thumbnail.png");
    if (row.output == Output::kTheDocument) output = document;
    if (row.output == Output::kLinkToTheDocument) {
      ASSERT_EQ(symlink(document.c_str(), output.c_str()), 0);
    }
    if (row.output == Output::kInUnwritableFolder) output = unwritable;
    const std::string identity = FileIdentity(document);
    const std::set<std::string> outputs = EntriesUnder(Path("out"));

    ProgramRun run = RunThumbnailer({"-s", "128", document, output}, "/nonexistent", Path("runtime"));
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    EXPECT_TRUE(IsOneErrorLine(run.err)) << run.err;
    EXPECT_NE(run.err.find(row.reason), std::string::npos) << run.err;
    EXPECT_EQ(FileIdentity(document), identity);
    EXPECT_EQ(EntriesUnder(Path("out")), outputs);
    EXPECT_EQ(EntriesUnder(Path("runtime")), std::set<std::string>{});
    unlink(document.c_str());  // the sparse one claims 2 GiB
    unlink(Path("out/thumbnail.png").c_str());
  }
  EXPECT_EQ(EntriesUnder(Path("locked")), std::set<std::string>{});
}

enum class Traced { kKilled, kEnded, kUntraceable };

// The system calls that can add, rename or remove a folder's entry. Between
// two of them the program cannot change what a kill leaves behind, so being
// killed right after each shows every state it can leave.
bool ChangesNames(std::uint64_t call) {
  static const std::set<std::uint64_t> calls = {
#ifdef SYS_open
      SYS_open,   SYS_creat,   SYS_mkdir,  SYS_link,      SYS_rename,    SYS_symlink, SYS_unlink,
#endif
      SYS_openat, SYS_mkdirat, SYS_linkat, SYS_renameat2, SYS_symlinkat, SYS_unlinkat};
  return calls.contains(call);
}

// Runs the program traced and kills it right after the `point`-th of its
// system calls that can change a folder's entries, or lets it end when it
// makes fewer.
Traced KillAfterNameChange(const std::vector<std::string>& args, const std::string& runtime, int point) {
  pid_t child = fork();
  if (child == 0) {
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(126);
    int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDERR_FILENO);
    ExecThumbnailer(args, "/nonexistent", runtime);
  }
  int status = 0;
  waitpid(child, &status, 0);  // stopped at its exec
  if (!WIFSTOPPED(status)) return Traced::kUntraceable;
  ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  long signal = 0;
  std::uint64_t call = 0;
  for (int points = 0;;) {
    ptrace(PTRACE_SYSCALL, child, nullptr, signal);
    waitpid(child, &status, 0);
    if (!WIFSTOPPED(status)) return Traced::kEnded;
    signal = 0;
    if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
      signal = WSTOPSIG(status);  // a signal for the program is passed on
      continue;
    }
    __ptrace_syscall_info info{};
    ptrace(PTRACE_GET_SYSCALL_INFO, child, sizeof info, &info);
    if (info.op == PTRACE_SYSCALL_INFO_ENTRY) {
      call = info.entry.nr;
    } else if (ChangesNames(call) && ++points == point) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return Traced::kKilled;
    }
  }
}

// Killed at any point, while it reads the document or while it writes
// OUTPUT, the program leaves nothing in the runtime folder, and beside
// OUTPUT at most OUTPUT itself, whole.
TEST_F(ThumbnailerTest, KilledAtAnyPointItLeavesNothingBehind) {
  scratch_.Make({"out/", "runtime/"});
  const std::string document = WriteHostileDocument(dir_, HexPreviewDocument());
  const std::string output = Path("out/thumbnail.png");
  const std::vector<std::string> args = {"-s", "32", document, output};
  int point = 1;
  Traced traced;
  for (; (traced = KillAfterNameChange(args, Path("runtime"), point)) == Traced::kKilled; ++point) {
    SCOPED_TRACE("killed after name change " + std::to_string(point));
    const std::set<std::string> left = EntriesUnder(Path("out"));
    if (!left.empty()) {
      EXPECT_EQ(left, std::set<std::string>{"thumbnail.png"});
      CImage thumbnail;
      EXPECT_EQ(thumbnail.LoadFromFile(output), ImageStatus::kOk);
      unlink(output.c_str());
    }
    ASSERT_EQ(EntriesUnder(Path("runtime")), std::set<std::string>{});
  }
  if (traced == Traced::kUntraceable) GTEST_SKIP() << "this machine does not let a test trace its child";
  // The run that was not killed wrote the thumbnail.
  EXPECT_TRUE(FileExists(output));
}

}  // namespace
}  // namespace glimpses
