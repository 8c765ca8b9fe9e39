// thumbcache_probe: the cache's answers for the test that holds them against
// GNOME's own thumbnail factory (thumbnailer/gnome_cache_test.py).
//
//   thumbcache_probe uri PATH...                      the URI of each path, one a line
//   thumbcache_probe load ROOT FOLDER DOCUMENT [OUT]  "cache", "document" or "none", the picture's
//                                                     WIDTHxHEIGHT, and the picture as a PNG at OUT
#include <cstdio>
#include <cstring>
#include <string>

#include "base/file_uri.h"
#include "thumbcache/desktop_thumbnails.h"

namespace {

int Load(int argc, char** argv) {
  const auto folder = glimpses::FolderNamed(argv[3]);
  if (!folder) return 2;
  const glimpses::CachedThumbnail got = glimpses::LoadThumbnail(argv[4], *folder, {argv[2], true});
  const char* source = got.source == glimpses::ThumbnailSource::kCache      ? "cache"
                       : got.source == glimpses::ThumbnailSource::kDocument ? "document"
                                                                             : "none";
  std::printf("%s %dx%d\n", source, got.picture.Width(), got.picture.Height());
  if (argc == 6 && !got.picture.IsNull() && got.picture.SaveToFile(argv[5]) != glimpses::ImageStatus::kOk) return 2;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "uri") == 0) {
    for (int i = 2; i < argc; ++i) std::printf("%s\n", glimpses::FileUri(argv[i]).c_str());
    return 0;
  }
  if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "load") == 0) return Load(argc, argv);
  std::fprintf(stderr, "usage: thumbcache_probe uri PATH... | load ROOT FOLDER DOCUMENT [OUT]\n");
  return 2;
}
