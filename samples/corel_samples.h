// Builders of CorelDRAW documents for tests, fuzzing seeds and `make run`:
// RIFF documents with chunks laid exactly as given, ZIP documents with any
// entries, and small pictures whose every pixel colour is known.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "extract/image.h"

namespace glimpses {

struct Rgba {
  std::uint8_t red = 0, green = 0, blue = 0, alpha = 255;
  bool operator==(const Rgba&) const = default;
};

// The colour of pixel (x, y) (top row 0) of the sample picture at a depth of
// 1, 4, 8 or 24 bits per pixel.
Rgba SampleColour(int x, int y, int bitsPerPixel);

// The sample picture as a device-independent bitmap: a 40-byte information
// header, a full colour table for 1, 4 and 8 bits, and bottom-up rows.
Bytes SampleDib(int width, int height, int bitsPerPixel);

// A whole BMP file of the sample picture.
Bytes SampleBmpFile(int width, int height, int bitsPerPixel);

// The sample picture at 24 bits as a PNG file; nullopt when the image
// service cannot encode.
std::optional<Bytes> SamplePngFile(int width, int height);

// DISP chunk data as the application stores it: a 4-byte lead, then the DIB.
Bytes SampleDispData(int width, int height, int bitsPerPixel);

struct CorelRiffChunk {
  std::string id;  // four bytes
  Bytes data;
  // The length field written; the data's size when absent. Lets a test
  // state a length that does not match what follows.
  std::optional<std::uint32_t> statedLength;
};

// A RIFF document: the 12-byte RIFF header, a "vrsn" chunk holding `version`
// (so the version sits at offset 20), then `chunks` back to back with no pad
// byte after odd lengths.
Bytes BuildCorelRiff(std::uint16_t version, const std::vector<CorelRiffChunk>& chunks);

struct CorelZipEntry {
  std::string name;
  Bytes data;
};

// Writes a ZIP document (deflated entries, in the given order) to `path`.
bool WriteCorelZip(const std::string& path, const std::vector<CorelZipEntry>& entries);

// The colour of pixel (x, y) of a decoded picture, whatever its depth.
Rgba ColourAt(const CImage& image, int x, int y);

// Writes a set of sample CorelDRAW documents, named for what they hold, into
// `folder`; false when one could not be written.
bool WriteCorelSamples(const std::string& folder);

}  // namespace glimpses
