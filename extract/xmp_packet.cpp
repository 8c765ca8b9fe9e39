#include "extract/xmp_packet.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <utility>

namespace glimpses {

namespace {

constexpr std::string_view kBegin = "<?xpacket begin";
constexpr std::string_view kEnd = "<?xpacket end";
constexpr std::string_view kThumbnailKey = "pGImg:image";
// How far back from the key the '<' of its tag may lie: "<xmpGImg:image"
// or "<xapGImg:image", with room for longer prefixes.
constexpr std::size_t kMaxPrefix = 16;

// True when the key at `key` is the name of an opening tag: "<xmpGImg:image>".
bool OpensElement(std::string_view packet, std::size_t key) {
  std::size_t open = packet.rfind('<', key);
  if (open == std::string_view::npos || key - open > kMaxPrefix || packet[open + 1] == '/') return false;
  return packet.substr(open, key - open).find_first_of(" \t\r\n") == std::string_view::npos;
}

// The value of the thumbnail key at `key`, as [start, end), or nullopt when
// the key there opens no value (a closing tag, or the name in other text).
std::optional<std::pair<std::size_t, std::size_t>> ValueAt(std::string_view packet, std::size_t key) {
  std::size_t after = key + kThumbnailKey.size();
  std::size_t start = 0;
  char terminator = 0;
  if (after < packet.size() && packet[after] == '>' && OpensElement(packet, key)) {
    start = after + 1;
    terminator = '<';
  } else if (after + 1 < packet.size() && packet[after] == '=' && (packet[after + 1] == '"' || packet[after + 1] == '\'')) {
    start = after + 2;
    terminator = packet[after + 1];
  } else {
    return std::nullopt;
  }
  std::size_t end = packet.find(terminator, start);
  if (end == std::string_view::npos) return std::nullopt;
  return std::pair{start, end};
}

}  // namespace

std::vector<XmpPacket> FindXmpPackets(std::string_view data) {
  std::deque<XmpPacket> packets;
  for (std::size_t from = 0;;) {
    std::size_t begin = data.find(kBegin, from);
    if (begin == std::string_view::npos) break;
    std::size_t end = data.find(kEnd, begin + kBegin.size());
    if (end == std::string_view::npos) break;
    // A packet begun again before it ends was a fragment (InDesign keeps
    // cut-off copies of older packets ahead of the current one).
    for (std::size_t next; (next = data.find(kBegin, begin + kBegin.size())) < end;) begin = next;
    std::size_t close = data.find("?>", end + kEnd.size());
    if (close == std::string_view::npos) break;
    packets.push_back({begin, data.substr(begin, close + 2 - begin)});
    if (packets.size() > kMaxXmpPackets) packets.pop_front();
    from = close + 2;
  }
  return {packets.begin(), packets.end()};
}

std::string WithoutThumbnailValues(std::string_view packet) {
  std::string light;
  light.reserve(packet.size());
  std::size_t copied = 0;
  for (std::size_t key = packet.find(kThumbnailKey); key != std::string_view::npos;
       key = packet.find(kThumbnailKey, std::max(copied, key + 1))) {
    if (auto value = ValueAt(packet, key)) {
      light.append(packet, copied, value->first - copied);
      copied = value->second;
    }
  }
  light.append(packet, copied);
  return light;
}

}  // namespace glimpses
