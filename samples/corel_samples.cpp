#include "samples/corel_samples.h"

#include <zip.h>

#include <memory>

#include "extract/bytes.h"

namespace glimpses {

namespace {

void PutText(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

Rgba PaletteColour(int index) {
  return {static_cast<std::uint8_t>(index * 37), static_cast<std::uint8_t>(index * 91 + 17),
          static_cast<std::uint8_t>(255 - index * 53)};
}

int SampleIndex(int x, int y, int bitsPerPixel) { return (x + 3 * y) % (1 << bitsPerPixel); }

int PitchOf(int width, int bitsPerPixel) { return (width * bitsPerPixel + 31) / 32 * 4; }

struct ZipCloser {
  void operator()(void* archive) const { zipClose(archive, nullptr); }
};

std::string VersionLetter(std::uint16_t version) {
  int major = version / 100;
  return std::string(1, static_cast<char>(major < 10 ? '0' + major : 'A' + (major - 10)));
}

}  // namespace

Rgba SampleColour(int x, int y, int bitsPerPixel) {
  if (bitsPerPixel <= 8) return PaletteColour(SampleIndex(x, y, bitsPerPixel));
  return {static_cast<std::uint8_t>(x * 16), static_cast<std::uint8_t>(y * 16), static_cast<std::uint8_t>((x + y) * 8)};
}

Bytes SampleDib(int width, int height, int bitsPerPixel) {
  int pitch = PitchOf(width, bitsPerPixel);
  Bytes dib;
  AppendLe32(dib, 40);
  AppendLe32(dib, static_cast<std::uint32_t>(width));
  AppendLe32(dib, static_cast<std::uint32_t>(height));
  AppendLe16(dib, static_cast<std::uint16_t>(1));
  AppendLe16(dib, static_cast<std::uint16_t>(static_cast<std::uint32_t>(bitsPerPixel)));
  AppendLe32(dib, 0);
  AppendLe32(dib, static_cast<std::uint32_t>(pitch * height));
  AppendLe32(dib, 2835);
  AppendLe32(dib, 2835);
  AppendLe32(dib, 0);
  AppendLe32(dib, 0);
  if (bitsPerPixel <= 8) {
    for (int i = 0; i < (1 << bitsPerPixel); ++i) {
      Rgba c = PaletteColour(i);
      dib.insert(dib.end(), {c.blue, c.green, c.red, 0});
    }
  }
  for (int y = height - 1; y >= 0; --y) {
    Bytes row(static_cast<std::size_t>(pitch), 0);
    for (int x = 0; x < width; ++x) {
      if (bitsPerPixel == 24) {
        Rgba c = SampleColour(x, y, 24);
        row[3 * x] = c.blue;
        row[3 * x + 1] = c.green;
        row[3 * x + 2] = c.red;
      } else {
        int bit = x * bitsPerPixel;
        int shift = 8 - bitsPerPixel - bit % 8;
        row[bit / 8] |= static_cast<std::uint8_t>(SampleIndex(x, y, bitsPerPixel) << shift);
      }
    }
    dib.insert(dib.end(), row.begin(), row.end());
  }
  return dib;
}

Bytes SampleBmpFile(int width, int height, int bitsPerPixel) {
  Bytes dib = SampleDib(width, height, bitsPerPixel);
  std::uint32_t palette = bitsPerPixel <= 8 ? 4u << bitsPerPixel : 0;
  Bytes file;
  PutText(file, "BM");
  AppendLe32(file, static_cast<std::uint32_t>(14 + dib.size()));
  AppendLe32(file, 0);
  AppendLe32(file, 14 + 40 + palette);
  file.insert(file.end(), dib.begin(), dib.end());
  return file;
}

std::optional<Bytes> SamplePngFile(int width, int height) {
  CImage image;
  if (!image.Create(width, height, 24)) return std::nullopt;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Rgba c = SampleColour(x, y, 24);
      std::uint8_t* p = image.Row(y) + 3 * x;
      p[0] = c.blue;
      p[1] = c.green;
      p[2] = c.red;
    }
  }
  return image.Encode(ImageFormat::kPng);
}

Bytes SampleDispData(int width, int height, int bitsPerPixel) {
  Bytes data = {8, 0, 0, 0};
  Bytes dib = SampleDib(width, height, bitsPerPixel);
  data.insert(data.end(), dib.begin(), dib.end());
  return data;
}

Bytes BuildCorelRiff(std::uint16_t version, const std::vector<CorelRiffChunk>& chunks) {
  Bytes body;
  PutText(body, "CDR" + VersionLetter(version));
  PutText(body, "vrsn");
  AppendLe32(body, 2);
  AppendLe16(body, static_cast<std::uint16_t>(version));
  for (const auto& chunk : chunks) {
    PutText(body, chunk.id);
    AppendLe32(body, chunk.statedLength.value_or(static_cast<std::uint32_t>(chunk.data.size())));
    body.insert(body.end(), chunk.data.begin(), chunk.data.end());
  }
  Bytes document;
  PutText(document, "RIFF");
  AppendLe32(document, static_cast<std::uint32_t>(body.size()));
  document.insert(document.end(), body.begin(), body.end());
  return document;
}

bool WriteCorelZip(const std::string& path, const std::vector<CorelZipEntry>& entries) {
  std::unique_ptr<void, ZipCloser> archive(zipOpen64(path.c_str(), APPEND_STATUS_CREATE));
  if (!archive) return false;
  for (const auto& entry : entries) {
    zip_fileinfo info{};
    if (zipOpenNewFileInZip64(archive.get(), entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                              Z_DEFAULT_COMPRESSION, 0) != ZIP_OK) {
      return false;
    }
    bool written =
        zipWriteInFileInZip(archive.get(), entry.data.data(), static_cast<unsigned>(entry.data.size())) == ZIP_OK;
    if (zipCloseFileInZip(archive.get()) != ZIP_OK || !written) return false;
  }
  return zipClose(archive.release(), nullptr) == ZIP_OK;
}

Rgba ColourAt(const CImage& image, int x, int y) {
  const std::uint8_t* row = image.Row(y);
  int bits = image.BitsPerPixel();
  if (bits <= 8) {
    int bit = x * bits;
    int index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1);
    if (static_cast<std::size_t>(index) >= image.Palette().size()) return {0, 0, 0, 0};
    const PaletteEntry& e = image.Palette()[static_cast<std::size_t>(index)];
    return {e.red, e.green, e.blue, 255};
  }
  if (bits == 16) {
    unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
    auto expand = [](unsigned five) { return static_cast<std::uint8_t>((five << 3) | (five >> 2)); };
    return {expand((v >> 10) & 31), expand((v >> 5) & 31), expand(v & 31), 255};
  }
  const std::uint8_t* p = row + (bits / 8) * x;
  std::uint8_t alpha = bits == 32 && image.HasAlpha() ? p[3] : 255;
  return {p[2], p[1], p[0], alpha};
}

bool WriteCorelSamples(const std::string& folder) {
  auto write = [&](const std::string& name, const Bytes& bytes) {
    return WriteFileAtomically(folder + "/" + name, bytes.data(), bytes.size());
  };
  Bytes bmp = SampleBmpFile(64, 48, 24);
  bool ok = WriteCorelZip(folder + "/zip-thumbnail-bmp.cdr",
                          {{"content/riffData.cdr", {1, 2, 3}}, {"metadata/thumbnails/thumbnail.bmp", bmp}});
  if (auto png = SamplePngFile(64, 48)) {
    ok = WriteCorelZip(folder + "/zip-preview-png-only.cdr", {{"previews/thumbnail.png", *png}}) && ok;
  }
  CorelRiffChunk list{"LIST", Bytes(33, 'x'), std::nullopt};
  for (int bits : {1, 4, 8, 24}) {
    CorelRiffChunk disp{"DISP", SampleDispData(40, 30, bits), std::nullopt};
    ok = write("riff-1300-disp-" + std::to_string(bits) + "bpp.cdr", BuildCorelRiff(1300, {list, disp})) && ok;
  }
  ok = write("riff-1350-no-thumbnail.cdr", BuildCorelRiff(1350, {{"DISP", SampleDispData(8, 8, 8), std::nullopt}})) &&
       ok;
  ok = write("riff-disp-length-past-end.cdr", BuildCorelRiff(1100, {{"DISP", SampleDispData(8, 8, 8), 0x7FFFFFF0u}})) &&
       ok;
  return ok;
}

}  // namespace glimpses
