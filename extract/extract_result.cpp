#include "extract/extract_result.h"

namespace glimpses {

namespace {

int Weight(ExtractStatus status) {
  switch (status) {
    case ExtractStatus::kWritten:
      return 5;
    case ExtractStatus::kOutputFull:
    case ExtractStatus::kCannotWrite:
      return 4;
    case ExtractStatus::kUnreadable:
      return 3;
    case ExtractStatus::kDamaged:
      return 2;
    case ExtractStatus::kUnsupported:
      return 1;
    case ExtractStatus::kNoPicture:
      break;
  }
  return 0;
}

}  // namespace

std::string DescribeFailure(const ExtractResult& result) {
  std::string text;
  switch (result.status) {
    case ExtractStatus::kWritten:
      return "picture written";
    case ExtractStatus::kNoPicture:
      text = "no stored picture";
      break;
    case ExtractStatus::kDamaged:
      text = "stored picture is damaged";
      break;
    case ExtractStatus::kUnreadable:
      text = "cannot read the document";
      break;
    case ExtractStatus::kUnsupported:
      text = "unsupported kind of picture";
      break;
    case ExtractStatus::kCannotWrite:
      text = "cannot write the picture";
      break;
    case ExtractStatus::kOutputFull:
      text = "the disk is full";
      break;
  }
  if (!result.detail.empty()) text += ": " + result.detail;
  return text;
}

const char* RouteName(ExtractRoute route) {
  switch (route) {
    case ExtractRoute::kNone:
      return "none";
    case ExtractRoute::kXmp:
      return "XMP thumbnail";
    case ExtractRoute::kHexPreview:
      return "Illustrator hex preview";
    case ExtractRoute::kCorel:
      return "CorelDRAW thumbnail";
    case ExtractRoute::kEpsTiff:
      return "EPS TIFF preview";
    case ExtractRoute::kEpsi:
      return "EPSI preview";
    case ExtractRoute::kImageResource:
      return "EPS image-resource thumbnail";
    case ExtractRoute::kInddThumbnail:
      return "small InDesign thumbnail";
  }
  return "none";
}

const ExtractResult& MoreTelling(const ExtractResult& a, const ExtractResult& b) {
  return Weight(b.status) > Weight(a.status) ? b : a;
}

}  // namespace glimpses
