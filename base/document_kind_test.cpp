#include "base/document_kind.h"

#include <gtest/gtest.h>

#include <string>

namespace glimpses {
namespace {

constexpr DocumentKind kNo = DocumentKind::kNone;
constexpr DocumentKind kAi = DocumentKind::kIllustrator;
constexpr DocumentKind kEps = DocumentKind::kEps;
constexpr DocumentKind kIndd = DocumentKind::kInDesign;
constexpr DocumentKind kPdf = DocumentKind::kPdf;
constexpr DocumentKind kCdr = DocumentKind::kCorelDraw;

TEST(DocumentKindTest, EachUseAcceptsItsSpellings) {
  struct Case {
    std::string name;
    DocumentKind listed, read, anyCase;
  } cases[] = {
      {"plan.ai", kAi, kAi, kAi},
      {"plan.INDD", kIndd, kIndd, kIndd},
      {"/d/plan.PDF", kPdf, kPdf, kPdf},
      {"a b 海报.Eps", kEps, kEps, kEps},
      {"x..pdf", kPdf, kPdf, kPdf},
      {"/.pdf", kPdf, kPdf, kPdf},
      {"logo.Cdr", kCdr, kCdr, kCdr},
      // Read and exported, not listed.
      {"logo.CDr", kNo, kCdr, kCdr},
      {"logo.cdR", kNo, kCdr, kCdr},
      // Only the thumbnailer takes any case.
      {"plan.Ai", kNo, kNo, kAi},
      {"plan.iNDD", kNo, kNo, kIndd},
      {"plan.Pdf", kNo, kNo, kPdf},
      {"logo.cDr", kNo, kNo, kCdr},
      // Nobody takes these.
      {".pdf", kNo, kNo, kNo},
      {"pdf", kNo, kNo, kNo},
      {"", kNo, kNo, kNo},
      {"plan.pdf.bak", kNo, kNo, kNo},
      {"plan.pdf ", kNo, kNo, kNo},
      {"plan.epsx", kNo, kNo, kNo},
      {"a.b/plan", kNo, kNo, kNo},
      {"plan\n.pdf", kNo, kNo, kNo},
      {"/a\rb/logo.cdr", kNo, kNo, kNo},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KindOfName(c.name, NameUse::kListed), c.listed) << c.name;
    EXPECT_EQ(KindOfName(c.name, NameUse::kRead), c.read) << c.name;
    EXPECT_EQ(KindOfName(c.name, NameUse::kAnyCase), c.anyCase) << c.name;
  }
}

TEST(DocumentKindTest, FirstBytesTellTheKind) {
  using namespace std::string_literals;
  const std::pair<std::string, DocumentKind> cases[] = {
      {"%PDF-1.7\n", kPdf},
      {"%!PS-Adobe-3.0 EPSF", kEps},
      {"\xC5\xD0\xD3\xC6 binary", kEps},
      {"\x06\x06\xED\xF5\xD8\x1D\x46\xE5\xBD\x31\xEF\xE7\xFE\x74\xB7\x1Drest"s, kIndd},
      {"\x06\x06\xED\xF5\xD8\x1D\x46\xE5"s, kNo},
      {"PK\x03\x04 zip", kCdr},
      {"RIFF\x10\0\0\0CDRDvrsn"s, kCdr},
      {"RIFF\x10\0\0\0cdr7"s, kCdr},
      {"RIFF\x10\0\0\0WAVEfmt "s, kNo},
      {"RIFF", kNo},
      {"hello", kNo},
  };
  for (const auto& [head, kind] : cases) {
    EXPECT_EQ(KindOfContent(reinterpret_cast<const std::uint8_t*>(head.data()), head.size()), kind) << head;
  }
}

}  // namespace
}  // namespace glimpses
