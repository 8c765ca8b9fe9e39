#include "metadata/document_metadata.h"

#include <algorithm>
#include <cctype>
#include <span>
#include <string_view>

#include "base/file_util.h"
#include "extract/adobe_thumbnail.h"
#include "extract/bytes.h"
#include "extract/corel_thumbnail.h"
#include "extract/extract_thumbnail.h"
#include "extract/stored_preview.h"
#include "extract/xmp_packet.h"
#include "metadata/application_version.h"
#include "metadata/xmp_metadata.h"

namespace glimpses {

namespace {

constexpr std::int64_t kWindow = static_cast<std::int64_t>(kAdobeWindowSize);
// A PDF may put up to a kilobyte of anything before its "%PDF-" line.
constexpr std::size_t kPdfHeaderReach = 1024;
// The header comments of a PostScript document come first and are short;
// past these lines whatever follows is the program, not its header.
constexpr int kMaxHeaderLines = 256;
// CorelDRAW X7 and later keep metadata.xml under META-INF, X4 to X6 under
// metadata (in a form XMP parsers refuse: elements nested without RDF's
// markup), and the drawing as a RIFF form in one of these entries.
constexpr const char* kCorelMetadataEntries[] = {"META-INF/metadata.xml", "metadata/metadata.xml"};
constexpr const char* kCorelRiffEntries[] = {"content/riffData.cdr", "content/root.dat"};
// "RIFF", its length, the form type "CDRx", then "vrsn", its length and the
// 16-bit version.
constexpr std::size_t kRiffHeaderBytes = 22;

std::string_view AsText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The bytes read of an Adobe document: all of it up to twice the picture
// reader's window; of a larger one its first and its last window, since a
// PDF's updates and the packets later saves append lie at its end.
struct AdobeBytes {
  Bytes head;
  Bytes tail;  // empty when `head` holds the whole document
  std::int64_t fileSize = 0;
};

std::optional<AdobeBytes> ReadAdobeBytes(const std::string& path) {
  AdobeBytes bytes;
  bytes.fileSize = FileLength(path);  // -1 for a FIFO or a device, never opened
  if (bytes.fileSize < 0) return std::nullopt;
  const bool split = bytes.fileSize > 2 * kWindow;
  auto head = ReadFileRange(path, 0, static_cast<std::size_t>(split ? kWindow : bytes.fileSize));
  if (!head) return std::nullopt;
  bytes.head = std::move(*head);
  if (split) {
    auto tail = ReadFileRange(path, bytes.fileSize - kWindow, static_cast<std::size_t>(kWindow));
    if (!tail) return std::nullopt;
    bytes.tail = std::move(*tail);
  }
  return bytes;
}

// Among those bytes, the window ReadAdobePicture looks at: the first MiB,
// or the last of an InDesign document of a MiB or more.
std::span<const std::uint8_t> PictureWindow(const AdobeBytes& bytes, bool indd) {
  std::span<const std::uint8_t> head(bytes.head);
  if (!indd || bytes.fileSize <= kWindow) {
    return head.first(std::min(head.size(), kAdobeWindowSize));
  }
  if (!bytes.tail.empty()) return bytes.tail;
  return head.last(std::min(head.size(), kAdobeWindowSize));
}

// Every packet of the document, in file order, without its thumbnails.
std::vector<std::string> PacketTexts(const AdobeBytes& bytes) {
  std::vector<XmpPacket> packets = FindXmpPackets(AsText(bytes.head));
  for (const XmpPacket& packet : FindXmpPackets(AsText(bytes.tail))) packets.push_back(packet);
  std::span<const XmpPacket> kept(packets);
  if (kept.size() > kMaxXmpPackets) kept = kept.last(kMaxXmpPackets);
  std::vector<std::string> texts;
  for (const XmpPacket& packet : kept) texts.push_back(WithoutThumbnailValues(packet.text));
  return texts;
}

// "1.6" of a "%PDF-1.6" header; empty when there is none.
std::string PdfVersion(std::string_view head) {
  std::size_t at = head.substr(0, kPdfHeaderReach).find("%PDF-");
  if (at == std::string_view::npos) return {};
  std::string_view rest = head.substr(at + 5, 8);
  std::size_t end = 0;
  while (end < rest.size() && (std::isdigit(static_cast<unsigned char>(rest[end])) || rest[end] == '.')) ++end;
  std::string_view version = rest.substr(0, end);
  if (version.size() < 3 || version.find('.') == std::string_view::npos) return {};
  return std::string(version);
}

struct PostScriptComments {
  std::string creator;
  std::string title;
};

// A header comment's text: "(logo.ai)" is a PostScript string, its
// parentheses no part of the text.
std::string CommentText(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  if (value.size() >= 2 && value.front() == '(' && value.back() == ')') value = value.substr(1, value.size() - 2);
  return BoundedText(value);
}

// %%Creator and %%Title among the header comments of the PostScript at
// `text`: the lines up to %%EndComments or the first that is no comment.
PostScriptComments ReadHeaderComments(std::string_view text) {
  PostScriptComments comments;
  std::size_t at = 0;
  for (int line = 0; line < kMaxHeaderLines && at < text.size(); ++line) {
    std::size_t end = std::min(text.find_first_of("\r\n", at), text.size());
    std::string_view comment = text.substr(at, end - at);
    if (!comment.starts_with('%') || comment.starts_with("%%EndComments")) break;
    if (comment.starts_with("%%Creator:") && comments.creator.empty()) comments.creator = CommentText(comment.substr(10));
    if (comment.starts_with("%%Title:") && comments.title.empty()) comments.title = CommentText(comment.substr(8));
    at = end + (text.substr(end).starts_with("\r\n") ? 2 : 1);
  }
  return comments;
}

PostScriptComments ReadPostScriptComments(const AdobeBytes& bytes) {
  auto start = PostScriptStart(bytes.head.data(), bytes.head.size(), bytes.fileSize);
  if (!start || *start >= bytes.head.size()) return {};
  return ReadHeaderComments(AsText(bytes.head).substr(*start));
}

void Name(DocumentMetadata& metadata, ApplicationVersion named) {
  metadata.application = std::move(named.application);
  metadata.version = std::move(named.version);
}

bool ReadAdobeDocument(const std::string& path, DocumentMetadata& metadata) {
  std::optional<AdobeBytes> bytes = ReadAdobeBytes(path);
  if (!bytes) return false;
  ReadCurrentXmp(PacketTexts(*bytes), metadata);
  PostScriptComments comments = ReadPostScriptComments(*bytes);
  if (metadata.creatorTool.empty()) metadata.creatorTool = std::move(comments.creator);
  if (metadata.title.empty()) metadata.title = std::move(comments.title);
  Name(metadata, NameCreator(metadata.creatorTool));
  std::string pdfVersion = PdfVersion(AsText(bytes->head));
  if (metadata.application.empty() && metadata.kind == DocumentKind::kPdf && !pdfVersion.empty()) {
    Name(metadata, {"PDF", pdfVersion});
  }
  const bool indd = StartsAsInDesign(bytes->head.data(), bytes->head.size());
  std::span<const std::uint8_t> window = PictureWindow(*bytes, indd);
  // The XMP thumbnail is found without decoding it; only a document without
  // one goes through the other routes, which decode what they find.
  metadata.hasThumbnail = HasXmpThumbnail(window.data(), window.size(), indd) ||
                          ReadStoredPicture(path, metadata.kind).picture.has_value();
  return true;
}

// CorelDRAW's version from the start of a RIFF form: the number of its
// "vrsn" chunk (1300), else the letter of its form type ("CDRH" is 17); 0
// when the bytes are no CorelDRAW form.
int RiffFormVersion(std::span<const std::uint8_t> head) {
  const std::string_view text = AsText(head);
  if (text.size() < 12 || !text.starts_with("RIFF") || text.substr(8, 3) != "CDR") return 0;
  if (text.size() >= kRiffHeaderBytes && text.substr(12, 4) == "vrsn") return ReadLe16(head.data() + 20);
  const char letter = text[11];
  if (letter >= '5' && letter <= '9') return (letter - '0') * 100;
  if (letter >= 'A' && letter <= 'Z') return (letter - 'A' + 10) * 100;
  return 0;
}

// Reads a ZIP document's metadata.xml into `metadata`; the version it names,
// else the one of the RIFF form the archive holds, or 0.
int ReadCorelArchive(const std::string& path, DocumentMetadata& metadata) {
  int version = 0;
  for (const char* entry : kCorelMetadataEntries) {
    BytesRead xml = ReadZipEntry(path, entry, kMaxXmpPacketBytes);
    if (!xml.bytes) continue;
    CorelXmp corel = ReadCorelXmp(AsText(*xml.bytes), metadata);
    if (metadata.creatorTool.empty()) metadata.creatorTool = corel.productName;
    version = corel.appVersion;
    break;
  }
  for (const char* entry : kCorelRiffEntries) {
    if (version > 0) break;
    BytesRead head = ReadZipEntryStart(path, entry, kRiffHeaderBytes);
    if (head.bytes) version = RiffFormVersion(*head.bytes);
  }
  return version;
}

bool ReadCorelDocument(const std::string& path, DocumentMetadata& metadata) {
  if (FileLength(path) < 0) return false;  // a FIFO or a device is never opened
  std::optional<Bytes> head = ReadFileRange(path, 0, kRiffHeaderBytes);
  if (!head) return false;
  const int version = AsText(*head).starts_with("PK") ? ReadCorelArchive(path, metadata) : RiffFormVersion(*head);
  std::string name = version > 0 ? CorelDrawVersionName(version) : std::string();
  Name(metadata, !name.empty() ? ApplicationVersion{"CorelDRAW", name} : NameCreator(metadata.creatorTool));
  metadata.hasThumbnail = ReadCorelPicture(path).picture.has_value();
  return true;
}

}  // namespace

std::optional<DocumentMetadata> ReadDocumentMetadata(const std::string& path) {
  DocumentKind kind = KindOfName(path, NameUse::kRead);
  if (kind == DocumentKind::kNone) return std::nullopt;
  DocumentMetadata metadata;
  metadata.kind = kind;
  bool read = kind == DocumentKind::kCorelDraw ? ReadCorelDocument(path, metadata) : ReadAdobeDocument(path, metadata);
  if (!read) return std::nullopt;
  return metadata;
}

std::string VersionLabel(const DocumentMetadata& metadata) {
  if (metadata.application.empty()) return metadata.version;
  if (metadata.version.empty()) return metadata.application;
  return metadata.application + " " + metadata.version;
}

}  // namespace glimpses
