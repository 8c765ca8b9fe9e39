#include "samples/adobe_samples.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "extract/bytes.h"
#include "extract/image.h"

namespace glimpses {

namespace {

constexpr char kPacketId[] = "W5M0MpCehiHzreSzNTczkc9d";
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
// InDesign's own file signature: the first four bytes are what readers test.
constexpr std::uint8_t kInddHeader[16] = {0x06, 0x06, 0xED, 0xF5, 0xD8, 0x1D, 0x46, 0xE5,
                                          0xBD, 0x31, 0xEF, 0xE7, 0xFE, 0x74, 0xB7, 0x1D};
// InDesign pads its packet well beyond the 10,240 bytes readers ask for
// behind the thumbnail key before any NUL.
constexpr std::size_t kInddPacketPadding = 12 * 1024;

// Deterministic bytes that look like compressed stream data.
class Filler {
 public:
  explicit Filler(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  std::uint8_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint8_t>(state_ >> 24);
  }
  void Append(std::string& out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out += static_cast<char>(Next());
  }

 private:
  std::uint64_t state_;
};

// Comment lines ("%...\n") that fill exactly `count` bytes: legal padding
// between the objects of PDF and PostScript files.
void AppendCommentPadding(std::string& out, std::size_t count) {
  while (count > 0) {
    std::size_t line = std::min<std::size_t>(count, 100);
    if (line == 1) {
      out += '\n';
    } else {
      out += '%';
      out.append(line - 2, '-');
      out += '\n';
    }
    count -= line;
  }
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string PacketHead(bool singleQuotes, const char* toolkit) {
  char q = singleQuotes ? '\'' : '"';
  std::string head = std::string("<?xpacket begin=") + q + kByteOrderMark + q + " id=" + q + kPacketId + q + "?>\n";
  head += std::string("<x:xmpmeta xmlns:x=") + q + "adobe:ns:meta/" + q + " x:xmptk=" + q + toolkit + q + ">\n";
  head += std::string(" <rdf:RDF xmlns:rdf=") + q + "http://www.w3.org/1999/02/22-rdf-syntax-ns#" + q + ">\n";
  head += std::string("  <rdf:Description rdf:about=") + q + q + "\n";
  head += std::string("    xmlns:xmp=") + q + "http://ns.adobe.com/xap/1.0/" + q + "\n";
  head += std::string("    xmlns:xmpGImg=") + q + "http://ns.adobe.com/xap/1.0/g/img/" + q + ">\n";
  head += "   <xmp:CreatorTool>glimpses-make-samples</xmp:CreatorTool>\n";
  return head;
}

std::string PacketTail(std::size_t padding, bool singleQuotes) {
  std::string tail = "  </rdf:Description>\n </rdf:RDF>\n</x:xmpmeta>\n";
  while (padding > 0) {
    std::size_t line = std::min<std::size_t>(padding, 100);
    tail.append(line - 1, ' ');
    tail += '\n';
    padding -= line;
  }
  tail += singleQuotes ? "<?xpacket end='w'?>" : "<?xpacket end=\"w\"?>";
  return tail;
}

// A palette index per pixel: a white page with a coloured disc and a frame
// drawn in entry 0xFD, the run-length escape, so both code forms appear.
std::vector<std::uint8_t> PreviewIndices(int width, int height) {
  std::vector<std::uint8_t> indices(static_cast<std::size_t>(width) * height, 215);
  double cx = width / 2.0, cy = height / 2.0, radius = std::min(width, height) * 0.35;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t& index = indices[static_cast<std::size_t>(y) * width + x];
      double distance = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
      if (x == 0 || y == 0 || x == width - 1 || y == height - 1) {
        index = 0xFD;
      } else if (distance < radius) {
        int red = 5 - static_cast<int>(5 * distance / radius);
        index = static_cast<std::uint8_t>(red * 36 + (y * 6 / height) * 6 + 2);
      }
    }
  }
  return indices;
}

std::vector<std::uint8_t> RunLengthCode(const std::vector<std::uint8_t>& indices) {
  constexpr std::uint8_t kEscape = 0xFD;
  std::vector<std::uint8_t> out{'R', 'L', 'E'};
  for (std::size_t i = 0; i < indices.size();) {
    std::size_t run = 1;
    while (i + run < indices.size() && indices[i + run] == indices[i] && run < 252) ++run;
    if (run >= 3) {
      out.insert(out.end(), {kEscape, static_cast<std::uint8_t>(run), indices[i]});
    } else {
      for (std::size_t k = 0; k < run; ++k) {
        if (indices[i] == kEscape) out.push_back(kEscape);
        out.push_back(indices[i]);
      }
    }
    i += run;
  }
  return out;
}

std::string PdfDocument(const std::string& packet, const AdobeSampleOptions& options, std::size_t fillerSize) {
  std::string head = options.kind == DocumentKind::kIllustrator ? "%PDF-1.6\n%\xE2\xE3\xCF\xD3\n%AI12_FileFormat\n"
                                                                : "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
  std::string out = head;
  std::vector<std::size_t> offsets(7, 0);
  auto object = [&](int id, const std::string& body) {
    offsets[id] = out.size();
    out += std::to_string(id) + " 0 obj\n" + body + "\nendobj\n";
  };
  std::string metadataHead =
      "5 0 obj\n<< /Type /Metadata /Subtype /XML /Length " + std::to_string(packet.size()) + " >>\nstream\n";
  if (options.xmpOffset > out.size() + metadataHead.size()) {
    AppendCommentPadding(out, options.xmpOffset - out.size() - metadataHead.size());
  }
  offsets[5] = out.size();
  out += metadataHead + packet + "\nendstream\nendobj\n";
  object(1, "<< /Type /Catalog /Pages 2 0 R /Metadata 5 0 R >>");
  object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 150] /Contents 4 0 R >>");
  std::string drawing = "0.9 0.3 0.2 rg 40 30 120 90 re f\n";
  object(4, "<< /Length " + std::to_string(drawing.size()) + " >>\nstream\n" + drawing + "endstream");
  offsets[6] = out.size();
  out += "6 0 obj\n<< /Length " + std::to_string(fillerSize) + " >>\nstream\n";
  Filler(options.totalSize + 7).Append(out, fillerSize);
  out += "\nendstream\nendobj\n";
  std::size_t xref = out.size();
  out += "xref\n0 7\n0000000000 65535 f \n";
  for (int id = 1; id <= 6; ++id) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offsets[id]);
    out += entry;
  }
  out += "trailer\n<< /Size 7 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return out;
}

std::string EpsDocument(const std::string& packet, const AdobeSampleOptions& options, std::size_t fillerSize) {
  std::string out =
      "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 200 150\n%%Creator: glimpses-make-samples\n"
      "%%EndComments\n%%BeginProlog\n%%EndProlog\n";
  // The packet stands in a PostScript string, so the file stays printable.
  std::string metadataHead = "/GlimpsesMetadata (";
  if (options.xmpOffset > out.size() + metadataHead.size()) {
    AppendCommentPadding(out, options.xmpOffset - out.size() - metadataHead.size());
  }
  out += metadataHead + packet + ") def\n";
  out += "0.9 0.3 0.2 setrgbcolor 40 30 120 90 rectfill\n";
  AppendCommentPadding(out, fillerSize);
  out += "showpage\n%%EOF\n";
  return out;
}

std::string InddDocument(const std::string& packet, const AdobeSampleOptions& options, std::size_t fillerSize) {
  std::string out(reinterpret_cast<const char*>(kInddHeader), sizeof kInddHeader);
  out += "DOCUMENT";
  out.append(4096 - out.size(), '\0');  // the master pages
  if (options.xmpOffset > out.size()) out.append(options.xmpOffset - out.size(), '\0');
  out += packet;
  Filler(options.totalSize + 11).Append(out, fillerSize);
  return out;
}

std::string DocumentText(const std::string& packet, const AdobeSampleOptions& options, std::size_t fillerSize) {
  switch (options.kind) {
    case DocumentKind::kEps:
      return EpsDocument(packet, options, fillerSize);
    case DocumentKind::kInDesign:
      return InddDocument(packet, options, fillerSize);
    default:  // Illustrator documents are PDF inside
      break;
  }
  return PdfDocument(packet, options, fillerSize);
}

// Builds the document, then sizes its filler to reach the total size (a
// length field may gain a digit, hence more than one round).
Bytes PaddedDocument(const std::string& packet, const AdobeSampleOptions& options) {
  std::size_t filler = 0;
  std::string text = DocumentText(packet, options, filler);
  for (int round = 0; round < 4 && text.size() != options.totalSize; ++round) {
    if (text.size() < options.totalSize) {
      filler += options.totalSize - text.size();
    } else if (filler > 0) {
      filler -= std::min(filler, text.size() - options.totalSize);
    } else {
      break;
    }
    text = DocumentText(packet, options, filler);
  }
  if (text.size() < options.totalSize) text = DocumentText(packet, options, filler + options.totalSize - text.size());
  return ToBytes(text);
}

}  // namespace

Bytes SampleJpeg(int width, int height, int seed) {
  CImage picture;
  if (picture.Create(width, height, 24)) {
    double phase = seed * 0.7;
    for (int y = 0; y < height; ++y) {
      std::uint8_t* row = picture.Row(y);
      for (int x = 0; x < width; ++x) {
        double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
        row[3 * x + 0] = static_cast<std::uint8_t>(127 + 120 * std::sin(6 * u + phase));
        row[3 * x + 1] = static_cast<std::uint8_t>(127 + 120 * std::sin(5 * v + 2 * phase + 9 * u * v));
        row[3 * x + 2] = static_cast<std::uint8_t>(127 + 120 * std::cos(4 * (u - v) + phase));
      }
    }
    if (auto jpeg = picture.Encode(ImageFormat::kJpeg)) return *jpeg;
  }
  // No encoder: bytes shaped like a JPEG stream serve the byte-exact tests.
  Bytes bytes = {0xFF, 0xD8, 0xFF, 0xE0};
  Filler filler(static_cast<std::uint64_t>(seed) + 3);
  for (int i = 0; i < width * height / 6; ++i) bytes.push_back(filler.Next());
  bytes.insert(bytes.end(), {0xFF, 0xD9});
  return bytes;
}

std::string WrappedBase64(const Bytes& data, std::size_t lineLength, const std::string& separator) {
  std::string text = EncodeBase64(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  std::string out;
  out.reserve(text.size() + text.size() / lineLength * separator.size());
  for (std::size_t i = 0; i < text.size(); i += lineLength) {
    if (i > 0) out += separator;
    out.append(text, i, lineLength);
  }
  return out;
}

std::string XmpPacket(const Bytes& jpeg, XmpForm form, int width, int height) {
  std::string w = std::to_string(width), h = std::to_string(height);
  std::string packet;
  switch (form) {
    case XmpForm::kElement:
      packet = PacketHead(false, "Adobe XMP Core 9.1-c001");
      packet += "   <xmp:Thumbnails>\n    <rdf:Alt>\n     <rdf:li rdf:parseType=\"Resource\">\n";
      packet += "      <xmpGImg:width>" + w + "</xmpGImg:width>\n";
      packet += "      <xmpGImg:height>" + h + "</xmpGImg:height>\n";
      packet += "      <xmpGImg:format>JPEG</xmpGImg:format>\n";
      packet += "      <xmpGImg:image>" + WrappedBase64(jpeg, 76, "&#xA;") + "</xmpGImg:image>\n";
      packet += "     </rdf:li>\n    </rdf:Alt>\n   </xmp:Thumbnails>\n";
      return packet + PacketTail(2000, false);
    case XmpForm::kAttribute:
      packet = PacketHead(false, "Adobe XMP Core 4.1-c036");
      packet += "   <xmp:Thumbnails>\n    <rdf:Alt>\n     <rdf:li rdf:parseType=\"Resource\"\n";
      packet += "      xmpGImg:image=\"" + WrappedBase64(jpeg, 76, "&#xA;") + "\"\n";
      packet += "      xmpGImg:width=\"" + w + "\"\n      xmpGImg:height=\"" + h + "\"\n";
      packet += "      xmpGImg:format=\"JPEG\"/>\n    </rdf:Alt>\n   </xmp:Thumbnails>\n";
      return packet + PacketTail(2000, false);
    case XmpForm::kWrapped:
      packet = PacketHead(true, "Image::ExifTool 12.57");
      packet += "   <xmp:Thumbnails>\n    <rdf:Alt>\n     <rdf:li rdf:parseType='Resource'>\n";
      packet += "      <xmpGImg:format>JPEG</xmpGImg:format>\n";
      packet += "      <xmpGImg:height>" + h + "</xmpGImg:height>\n";
      packet += "      <xmpGImg:image>" + WrappedBase64(jpeg, 60, "\n") + "</xmpGImg:image>\n";
      packet += "      <xmpGImg:width>" + w + "</xmpGImg:width>\n";
      packet += "     </rdf:li>\n    </rdf:Alt>\n   </xmp:Thumbnails>\n";
      return packet + PacketTail(2000, true);
    case XmpForm::kSingleQuoted:
      packet = PacketHead(true, "Image::ExifTool 12.57");
      packet += "   <xmp:Thumbnails>\n    <rdf:Alt>\n     <rdf:li rdf:parseType='Resource'\n";
      packet += "      xmpGImg:format='JPEG'\n      xmpGImg:height='" + h + "'\n";
      packet += "      xmpGImg:image='" + WrappedBase64(jpeg, 60, "\n") + "'\n";
      packet += "      xmpGImg:width='" + w + "'/>\n    </rdf:Alt>\n   </xmp:Thumbnails>\n";
      return packet + PacketTail(2000, true);
  }
  return packet;
}

Bytes BuildAdobeDocument(const Bytes& jpeg, const AdobeSampleOptions& options) {
  std::string packet = XmpPacket(jpeg, options.form, options.thumbnailWidth, options.thumbnailHeight);
  if (options.kind == DocumentKind::kInDesign) {
    // Widen the packet's own white-space padding before its end marker.
    std::size_t end = packet.rfind("<?xpacket end");
    packet.insert(end, std::string(kInddPacketPadding, ' ') + "\n");
  }
  return PaddedDocument(packet, options);
}

Bytes BuildDocumentWithoutThumbnail(DocumentKind kind, std::size_t totalSize) {
  std::string packet = PacketHead(false, "Adobe XMP Core 9.1-c001") + PacketTail(2000, false);
  AdobeSampleOptions options;
  options.kind = kind;
  options.totalSize = totalSize;
  return PaddedDocument(packet, options);
}

std::string HexPreviewText(int width, int height, bool runLength) {
  std::vector<std::uint8_t> data;
  for (int i = 0; i < 216; ++i) {  // a 6 × 6 × 6 colour cube, then greys
    data.insert(data.end(), {static_cast<std::uint8_t>(i / 36 * 51), static_cast<std::uint8_t>(i / 6 % 6 * 51),
                             static_cast<std::uint8_t>(i % 6 * 51)});
  }
  for (int i = 216; i < 256; ++i) {
    auto grey = static_cast<std::uint8_t>((i - 216) * 6);
    data.insert(data.end(), {grey, grey, grey});
  }
  std::vector<std::uint8_t> indices = PreviewIndices(width, height);
  if (runLength) indices = RunLengthCode(indices);
  data.insert(data.end(), indices.begin(), indices.end());

  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string lines;
  for (std::size_t i = 0; i < data.size(); i += 32) {
    lines += '%';
    for (std::size_t k = i; k < std::min(data.size(), i + 32); ++k) {
      lines += kDigits[data[k] >> 4];
      lines += kDigits[data[k] & 15];
    }
    lines += '\n';
  }
  return "%%AI7_Thumbnail: " + std::to_string(width) + " " + std::to_string(height) +
         " 8\n%%BeginData: " + std::to_string(lines.size()) + " Hex Bytes\n" + lines + "%%EndData\n";
}

Bytes BuildHexPreviewAi(int width, int height, bool runLength, const Bytes& xmpJpeg) {
  std::string out =
      "%!PS-Adobe-3.0 \n%%Creator: glimpses-make-samples\n%%For: (designer)\n%%Title: (badge)\n"
      "%%BoundingBox: 0 0 " +
      std::to_string(width) + " " + std::to_string(height) + "\n%%DocumentProcessColors: Cyan Magenta Yellow\n";
  out += HexPreviewText(width, height, runLength);
  out += "%%EndComments\n%%BeginProlog\n%%EndProlog\n";
  if (!xmpJpeg.empty()) {
    out += "/GlimpsesMetadata (" + XmpPacket(xmpJpeg, XmpForm::kElement, width, height) + ") def\n";
  }
  out += "%%BeginSetup\n%%EndSetup\n0.9 0.3 0.2 setrgbcolor 10 10 50 40 rectfill\n%%Trailer\n%%EOF\n";
  return ToBytes(out);
}

}  // namespace glimpses
