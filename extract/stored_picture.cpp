#include "extract/stored_picture.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "extract/jpeg_codec.h"

namespace glimpses {

namespace {

// A write that failed with errno `error`: a full disk or quota is told apart,
// since the export stops on it (and the disk, not the file, is the news).
ExtractResult WriteFailure(const std::string& path, int error) {
  if (error == ENOSPC || error == EDQUOT || error == EFBIG) {
    return ExtractResult::Failed(ExtractStatus::kOutputFull, std::strerror(error));
  }
  std::string detail = path;
  if (error != 0) detail += std::string(": ") + std::strerror(error);
  return ExtractResult::Failed(ExtractStatus::kCannotWrite, std::move(detail));
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

ExtractResult WriteBytes(const Bytes& bytes, ExtractRoute route, const std::string& path) {
  errno = 0;
  if (!WriteFileAtomically(path, bytes.data(), bytes.size())) return WriteFailure(path, errno);
  return ExtractResult::Written(route, path);
}

ExtractResult WriteRaster(const CImage& image, ExtractRoute route, const std::string& path) {
  const std::optional<ImageFormat> format = FormatForExtension(path);
  if (!format) return ExtractResult::Failed(ExtractStatus::kCannotWrite, path + ": no picture format of that name");
  const std::optional<Bytes> encoded = image.Encode(*format);
  if (!encoded) return ExtractResult::Failed(ExtractStatus::kCannotWrite, path + ": cannot encode the picture");
  return WriteBytes(*encoded, route, path);
}

}  // namespace

void KeepLarger(PictureRead& best, PictureRead next) {
  if (!next.picture) {
    if (!best.picture) best.failure = MoreTelling(best.failure, next.failure);
  } else if (!best.picture || next.picture->Pixels() > best.picture->Pixels()) {
    best = std::move(next);
  }
}

std::string PngSiblingPath(const std::string& outputPath) {
  // A picture extension is one the image service has an encoder for.
  if (FormatForExtension(outputPath)) return outputPath.substr(0, outputPath.rfind('.')) + ".png";
  return outputPath + ".png";
}

ExtractResult WriteStoredPicture(const StoredPicture& picture, const std::string& outputPath, SiblingReplace siblings) {
  if (picture.IsJpeg()) return WriteBytes(picture.jpeg, picture.route, outputPath);
  if (picture.route == ExtractRoute::kCorel) return WriteRaster(picture.image, picture.route, outputPath);
  const std::string png = PngSiblingPath(outputPath);
  if (siblings == SiblingReplace::kRefused && png != outputPath && Exists(png)) {
    return ExtractResult::Failed(ExtractStatus::kCannotWrite, png + ": a file of that name exists already");
  }
  return WriteRaster(picture.image, picture.route, png);
}

CImage PicturePixels(const StoredPicture& picture) {
  if (!picture.image.IsNull() || !picture.IsJpeg()) return picture.image;
  CImage image;
  if (DecodeJpeg(picture.jpeg.data(), picture.jpeg.size(), image) != ImageStatus::kOk) return CImage();
  return image;
}

}  // namespace glimpses
