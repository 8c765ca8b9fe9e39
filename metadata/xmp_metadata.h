// A document's XMP read with Exempi: the fields of the packet that is
// current among those a document holds, and the XMP-shaped metadata.xml of
// CorelDRAW's ZIP documents. Safe to call from several threads at once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "metadata/document_metadata.h"

namespace glimpses {

// A packet larger than the 1 MiB the Adobe reader looks at cannot be read
// whole anyway; this bounds CorelDRAW's metadata.xml, inflated, the same.
inline constexpr std::size_t kMaxXmpPacketBytes = 1 << 20;
// Fonts, swatches, plates, placed files and authors kept of each list. Real
// documents list tens; a layout placing hundreds of images still fits,
// while a crafted packet cannot make a catalogue row grow without end.
inline constexpr std::size_t kMaxListItems = 512;
// Bytes kept of one text (cut at a character's start): room for any path
// (PATH_MAX) or file URL; a longer title is no title a person reads.
inline constexpr std::size_t kMaxTextBytes = 4096;

// At most kMaxTextBytes of `text`, cut where a character starts.
std::string BoundedText(std::string_view text);

// Fills `metadata` from the current packet among `packets`, given in the
// order they lie in the document. The current one is the one its writer
// stamped latest (xmp:MetadataDate, else xmp:ModifyDate): an incremental
// update of a PDF, a packet appended by a later save, a placed image's
// packet older than the layout holding it. Of equal dates, or none, the one
// that lies later wins, as updates are appended; an empty packet (no
// property at all) describes nothing and never wins. Packets above
// kMaxXmpPacketBytes or that do not parse are passed over. False when none
// is left.
bool ReadCurrentXmp(const std::vector<std::string>& packets, DocumentMetadata& metadata);

// What CorelDRAW's metadata.xml says besides the XMP fields it shares.
struct CorelXmp {
  bool parsed = false;
  int appVersion = 0;        // 1500 for X5; 0 when absent
  std::string productName;   // "CorelDRAW X5"
};

// Reads CorelDRAW's metadata.xml into `metadata`: its XMP fields (newer
// documents) and the fields in CorelDRAW's own namespaces (title, author,
// pages, page size in millimetres, fonts used, document id).
CorelXmp ReadCorelXmp(std::string_view xml, DocumentMetadata& metadata);

}  // namespace glimpses
