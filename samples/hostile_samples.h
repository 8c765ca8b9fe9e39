// Documents built to make a reader work without end (thousands of thumbnail
// candidates, gigabytes of sparse zeros, pictures that declare millions of
// pixels or a thousand scans), and small documents that set the output traps:
// for the regression tests, the fuzzers' seeds and
// `glimpses-make-samples --hostile DIR`.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "base/document_kind.h"
#include "base/file_util.h"

namespace glimpses {

// A progressive JPEG stream that declares `width` x `height` pixels and holds
// `scans` scans (at least the ten libjpeg writes): libjpeg's own stream of a
// small picture, its frame size patched and its last scan repeated. The
// scans' data runs out long before the declared blocks do, which libjpeg only
// warns about, so a decoder without limits would pass over every block once
// for each scan.
Bytes ProgressiveJpegWithScans(int width, int height, int scans);

// A 39-byte JPEG that is all header: start, a comment, a frame of `width` x
// `height`, a scan header and the end, with no tables and no data.
Bytes JpegHeaderOnly(int width, int height);

struct HostileDocument {
  std::string name;  // says what the document holds
  Bytes bytes;
  // When larger than `bytes`, the file goes on to this size with a sparse
  // hole (zeros that take no disk space).
  std::int64_t size = 0;
};

// Writes the document into `folder`; its path, or "" when it cannot be written.
std::string WriteHostileDocument(const std::string& folder, const HostileDocument& document);

// An InDesign document holding `count` short XMP thumbnail values of 84
// bytes, each ended by a NUL (as InDesign's stale copies are) and each a
// JpegHeaderOnly of 8192 x 8192.
Bytes InddWithShortThumbnails(int count);
// The same filled with them to 1 MiB.
HostileDocument InddOfShortThumbnails();

// `RIFF....CDR8vrsn`, then 2 GiB of sparse zeros.
HostileDocument SparseCorelRiff();

// An Illustrator or InDesign document whose XMP thumbnail is a progressive
// JPEG of `edge` x `edge` pixels with 998 scans.
HostileDocument ProgressiveXmpThumbnail(DocumentKind kind, int edge);

// An EPS file with a binary header whose TIFF preview is 8192 x 8192 RGBA,
// Deflate-compressed; with `progressiveResource`, its PostScript also holds
// an image-resource JPEG of 2048 x 2048 pixels with 998 scans.
HostileDocument DosEpsWithHugeTiff(bool progressiveResource);

// The documents above in the order of the table: each must be
// refused by a bounded reader, or written as stored without decoding.
std::vector<HostileDocument> HostileDocuments();

// Documents at the limits, to measure the most an admissible document costs:
// an Illustrator document whose XMP thumbnail is a progressive JPEG of 4096 x
// 4096 (the largest picture read), and an EPS file whose TIFF preview and
// image-resource JPEG are both that large (the reader holds one while it
// decodes the other).
std::vector<HostileDocument> DocumentsAtTheLimits();

// The documents of the output traps: an Illustrator hex preview, which is
// converted to PNG beside the name asked for, and an Illustrator document
// without any stored picture.
HostileDocument HexPreviewDocument();
HostileDocument DocumentWithoutPicture();

// What a run over them is checked for. The inode, size and modification time
// of `path` ("missing" when there is none): writing over the file or
// replacing it changes them.
std::string FileIdentity(const std::string& path);
// The paths of every entry under `folder`, hidden ones too, relative to it.
std::set<std::string> EntriesUnder(const std::string& folder);

}  // namespace glimpses
