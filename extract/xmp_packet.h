// XMP packets among a document's bytes, found by their "<?xpacket" wrapper
// (a writer wraps every packet it embeds so that readers which do not know
// the file format can find it), and their text made light for an XMP parser.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace glimpses {

// A document holds one packet per save at most in real files (a PDF updated
// a dozen times, an InDesign file's stale copies); a file built of thousands
// of tiny packets must not have each one parsed.
inline constexpr std::size_t kMaxXmpPackets = 16;

struct XmpPacket {
  std::size_t offset = 0;  // of "<?xpacket begin" in the data searched
  std::string_view text;   // from there to the "?>" that closes "<?xpacket end"
};

// The whole packets of `data`, in the order they appear; a packet whose end
// is not in `data`, or inside which another begins, is left out. Of more than kMaxXmpPackets, the last ones.
std::vector<XmpPacket> FindXmpPackets(std::string_view data);

// The packet with the base64 text of its stored thumbnails (the values of
// xmpGImg:image, element or attribute form) left out: tens of KiB that a
// parser would otherwise read and copy for nothing.
std::string WithoutThumbnailValues(std::string_view packet);

}  // namespace glimpses
