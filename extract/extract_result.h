// What an extraction did: the picture it wrote and the route that found it,
// or why no picture was written, as a value callers can show.
#pragma once

#include <string>
#include <utility>

namespace glimpses {

enum class ExtractStatus {
  kWritten,
  kNoPicture,    // the document stores no picture we know
  kDamaged,      // a picture is stored but cannot be read; see the detail
  kUnreadable,   // the document cannot be opened or read
  kUnsupported,  // not a document we read, or a kind of picture we do not convert
  kCannotWrite,  // the picture was found but the output could not be written
  kOutputFull,   // the same, because the disk (or the user's quota) is full
};

// Where the written picture came from.
enum class ExtractRoute {
  kNone,
  kXmp,            // XMP thumbnail, JPEG as stored
  kHexPreview,     // Illustrator hex preview, PNG
  kCorel,          // CorelDRAW thumbnail, converted
  kEpsTiff,        // TIFF preview behind an EPS binary header, PNG
  kEpsi,           // EPSI grey preview, PNG
  kImageResource,  // image-resource thumbnail of an EPS file, JPEG as stored
  kInddThumbnail,  // InDesign XMP thumbnail under the usual size, JPEG as stored
};

struct ExtractResult {
  ExtractStatus status = ExtractStatus::kNoPicture;
  ExtractRoute route = ExtractRoute::kNone;
  std::string path;    // the picture written, when status is kWritten
  std::string detail;  // what was wrong, in a few words; may be empty

  bool written() const { return status == ExtractStatus::kWritten; }

  static ExtractResult Written(ExtractRoute route, std::string path) {
    return {ExtractStatus::kWritten, route, std::move(path), {}};
  }
  static ExtractResult Failed(ExtractStatus status, std::string detail = {}) {
    return {status, ExtractRoute::kNone, {}, std::move(detail)};
  }
};

// One line for a user: "no stored picture", "stored picture is damaged:
// <detail>", and so on.
std::string DescribeFailure(const ExtractResult& result);

// A short name of the route: "XMP thumbnail", "EPS TIFF preview", ...
const char* RouteName(ExtractRoute route);

// Of two failures, the one that tells the user more: an output that cannot
// be written, then an unreadable document, a damaged picture, an
// unsupported one, and "no picture" last.
const ExtractResult& MoreTelling(const ExtractResult& a, const ExtractResult& b);

}  // namespace glimpses
