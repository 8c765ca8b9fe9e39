// What ReadDocumentMetadata makes of documents the tests build: every field
// of a packet, which packet is current, the names of versions, and inputs
// built to make it read, keep or parse too much.
#include "metadata/document_metadata.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "extract/extract_thumbnail.h"
#include "extract/xmp_packet.h"
#include "metadata/xmp_metadata.h"
#include "samples/adobe_samples.h"
#include "samples/corel_samples.h"
#include "samples/scratch_dir.h"

namespace glimpses {
namespace {

std::string Packet(const std::string& properties) {
  return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
         "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\""
         " xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\""
         " xmlns:xmpTPg=\"http://ns.adobe.com/xap/1.0/t/pg/\""
         " xmlns:stDim=\"http://ns.adobe.com/xap/1.0/sType/Dimensions#\""
         " xmlns:stFnt=\"http://ns.adobe.com/xap/1.0/sType/Font#\" xmlns:xmpG=\"http://ns.adobe.com/xap/1.0/g/\""
         " xmlns:xmpMM=\"http://ns.adobe.com/xap/1.0/mm/\""
         " xmlns:stRef=\"http://ns.adobe.com/xap/1.0/sType/ResourceRef#\""
         " xmlns:stMfs=\"http://ns.adobe.com/xap/1.0/sType/ManifestItem#\""
         " xmlns:xmpGImg=\"http://ns.adobe.com/xap/1.0/g/img/\">" +
         properties + "</rdf:Description></rdf:RDF></x:xmpmeta>\n<?xpacket end=\"w\"?>";
}

std::string Tool(const std::string& tool) { return "<xmp:CreatorTool>" + tool + "</xmp:CreatorTool>"; }
std::string Stamped(const std::string& date, const std::string& tool) {
  return Packet("<xmp:MetadataDate>" + date + "</xmp:MetadataDate>" + Tool(tool));
}
std::string Pdf(const std::string& body) { return "%PDF-1.6\n%\xE2\xE3\xCF\xD3\n" + body + "\n%%EOF\n"; }
std::string Seq(const std::string& items) { return "<rdf:Seq>" + items + "</rdf:Seq>"; }
std::string Li(const std::string& value) { return "<rdf:li>" + value + "</rdf:li>"; }
std::string Font(const std::string& fields) { return "<rdf:li rdf:parseType=\"Resource\">" + fields + "</rdf:li>"; }

class DocumentMetadataTest : public ScratchDirTest {
 protected:
  DocumentMetadata Read(const std::string& name, const std::string& content) {
    std::optional<DocumentMetadata> metadata = ReadDocumentMetadata(Write(name, content));
    EXPECT_TRUE(metadata) << name;
    return metadata.value_or(DocumentMetadata{});
  }
};

TEST_F(DocumentMetadataTest, ReadsEveryFieldOfThePacketWithoutHandingItsThumbnailToTheParser) {
  const std::string thumbnail = WrappedBase64(SampleJpeg(32, 24, 3), 76, "&#xA;");
  const std::string properties =
      Tool("Adobe Illustrator CC 2017 (Macintosh)") + "<pdf:Producer>Adobe PDF library 15.00</pdf:Producer>" +
      "<xmp:CreateDate>2017-03-01T10:00:00+01:00</xmp:CreateDate><xmp:ModifyDate>2017-03-02T11:00:00+01:00"
      "</xmp:ModifyDate><xmp:MetadataDate>2017-03-02T11:00:01+01:00</xmp:MetadataDate>"
      "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Poster &amp; flyer</rdf:li></rdf:Alt></dc:title>"
      "<dc:creator>" + Seq(Li("Ann") + Li("Bo")) + "</dc:creator><xmpTPg:NPages>3</xmpTPg:NPages>"
      "<xmpTPg:MaxPageSize stDim:w=\"595.28\" stDim:h=\"841.89\" stDim:unit=\"Points\"/>"
      "<xmpTPg:PlateNames>" + Seq(Li("Cyan") + Li("Black")) + "</xmpTPg:PlateNames>"
      "<xmpTPg:SwatchGroups>" +
      Seq(Font("<xmpG:groupName>Default</xmpG:groupName><xmpG:Colorants>" +
               Seq(Font("<xmpG:swatchName>White</xmpG:swatchName>") + Font("<xmpG:swatchName>Red</xmpG:swatchName>")) +
               "</xmpG:Colorants>") +
          Font("<xmpG:Colorants>" + Seq(Font("<xmpG:swatchName>White</xmpG:swatchName>")) + "</xmpG:Colorants>")) +
      "</xmpTPg:SwatchGroups><xmpTPg:Fonts><rdf:Bag>" +
      Font("<stFnt:fontName>MyriadPro-Regular</stFnt:fontName><stFnt:fontFamily>Myriad Pro</stFnt:fontFamily>"
           "<stFnt:fontFace>Regular</stFnt:fontFace><stFnt:fontType>Open Type</stFnt:fontType>"
           "<stFnt:fontFileName>MyriadPro-Regular.otf</stFnt:fontFileName>") +
      Font("<stFnt:fontName>Logo-Bold</stFnt:fontName>") + "</rdf:Bag></xmpTPg:Fonts><xmpMM:Manifest>" +
      Seq(Font("<stMfs:reference rdf:parseType=\"Resource\"><stRef:filePath>/art/logo.ai</stRef:filePath>"
               "</stMfs:reference>") +
          Font("<stMfs:reference rdf:parseType=\"Resource\"><stRef:filePath>/art/photo.psd</stRef:filePath>"
               "<stRef:documentID>xmp.did:photo</stRef:documentID></stMfs:reference>")) +
      "</xmpMM:Manifest><xmpMM:Ingredients><rdf:Bag>" +
      Font("<stRef:filePath>/art/logo.ai</stRef:filePath><stRef:documentID>xmp.did:logo</stRef:documentID>") +
      Font("<stRef:documentID>xmp.did:unnamed</stRef:documentID>") +
      "</rdf:Bag></xmpMM:Ingredients><xmpMM:DocumentID>xmp.did:doc</xmpMM:DocumentID>"
      "<xmpMM:InstanceID>xmp.iid:now</xmpMM:InstanceID><xmpMM:OriginalDocumentID>xmp.did:first"
      "</xmpMM:OriginalDocumentID><xmp:Thumbnails>" +
      Seq(Font("<xmpGImg:image>" + thumbnail + "</xmpGImg:image>") + "<rdf:li xmpGImg:image=\"" + thumbnail +
          "\"/>") +
      "</xmp:Thumbnails>";
  const std::string packet = Packet(properties);
  const std::string light = WithoutThumbnailValues(packet);
  EXPECT_EQ(light.find(thumbnail.substr(0, 40)), std::string::npos);
  EXPECT_LT(light.size(), packet.size() - 2 * thumbnail.size() + 1);

  DocumentMetadata expected;
  expected.kind = DocumentKind::kPdf;
  expected.application = "Illustrator";
  expected.version = "CC 2017";
  expected.creatorTool = "Adobe Illustrator CC 2017 (Macintosh)";
  expected.producer = "Adobe PDF library 15.00";
  expected.created = "2017-03-01T10:00:00+01:00";
  expected.modified = "2017-03-02T11:00:00+01:00";
  expected.metadataDate = "2017-03-02T11:00:01+01:00";
  expected.title = "Poster & flyer";
  expected.authors = {"Ann", "Bo"};
  expected.pages = 3;
  expected.pageSize = PageSize{595.28, 841.89, "Points"};
  expected.plates = {"Cyan", "Black"};
  expected.swatches = {"White", "Red"};
  expected.fonts = {{"MyriadPro-Regular", "Myriad Pro", "Regular", "Open Type", "MyriadPro-Regular.otf"},
                    {"Logo-Bold", "", "", "", ""}};
  // Once each: the ingredient fills in the id the manifest did not give.
  expected.links = {{"/art/logo.ai", "xmp.did:logo"}, {"/art/photo.psd", "xmp.did:photo"}, {"", "xmp.did:unnamed"}};
  expected.documentId = "xmp.did:doc";
  expected.instanceId = "xmp.iid:now";
  expected.originalDocumentId = "xmp.did:first";
  expected.hasThumbnail = true;
  EXPECT_EQ(Read("poster.pdf", Pdf(packet)), expected);
}

TEST_F(DocumentMetadataTest, TheCurrentPacketIsTheOneStampedLatestAndOfEqualStampsTheLaterOne) {
  const std::string fragment = "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta>" + Tool("Cut");
  const struct Case {
    const char* what;
    std::vector<std::string> packets;
    const char* creatorTool;
  } cases[] = {
      {"an update appended later", {Stamped("2020-01-01T00:00:00Z", "Old"), Stamped("2021-01-01T00:00:00Z", "New")},
       "New"},
      {"a placed image's older packet after the layout's",
       {Stamped("2021-05-01T00:00:00Z", "Layout"), Stamped("2019-01-01T00:00:00Z", "Photo")}, "Layout"},
      {"equal stamps", {Stamped("2021-01-01T00:00:00Z", "First"), Stamped("2021-01-01T00:00:00Z", "Second")},
       "Second"},
      {"offsets compared in UTC",
       {Stamped("2021-01-01T11:00:00+00:00", "West"), Stamped("2021-01-01T12:00:00+02:00", "East")}, "West"},
      {"an unstamped packet after a stamped one", {Stamped("2021-01-01T00:00:00Z", "Dated"), Packet(Tool("Undated"))},
       "Dated"},
      {"an empty packet", {Packet(Tool("Full")), Packet("")}, "Full"},
      {"one that does not parse", {Packet(Tool("Good")), Packet("<xmp:CreatorTool>Bad</dc:title>")}, "Good"},
      {"a fragment begun again before its end", {fragment, Packet(Tool("Whole"))}, "Whole"},
  };
  for (const Case& c : cases) {
    std::string body;
    for (const std::string& packet : c.packets) body += packet + "\nendobj\n";
    EXPECT_EQ(Read("update.pdf", Pdf(body)).creatorTool, c.creatorTool) << c.what;
  }
}

TEST_F(DocumentMetadataTest, VersionLabelsNameTheProgramAndReleaseAsPeopleDo) {
  auto eps = [](const std::string& creator) {
    return "%!PS-Adobe-3.0 EPSF-3.0\r\n%%Creator: " + creator + "\r\n%%Title: (badge)\r\n%%EndComments\r\n";
  };
  auto tool = [](const std::string& creator) { return Pdf(Packet(Tool(creator))); };
  std::string dosEps(30, '\0');
  const std::string postScript = eps("Adobe Illustrator(R) 15.0");
  const std::uint8_t header[] = {0xC5, 0xD0, 0xD3, 0xC6, 30, 0, 0, 0, static_cast<std::uint8_t>(postScript.size())};
  dosEps.replace(0, sizeof header, reinterpret_cast<const char*>(header), sizeof header);
  auto riff = [](std::uint16_t version) {
    Bytes document = BuildCorelRiff(version, {});
    return std::string(document.begin(), document.end());
  };
  std::string noVrsn = riff(1200);
  noVrsn.replace(12, 4, "LIST");
  const struct Case {
    const char* name;
    std::string content;
    const char* label;
  } cases[] = {
      {"a.eps", eps("Adobe Illustrator(R) 13.0"), "Illustrator CS3"},
      {"a.eps", eps("Adobe Illustrator(R) 8.0"), "Illustrator 8"},
      {"a.eps", eps("Adobe Illustrator(TM) 3.2"), "Illustrator 3.2"},
      {"a.eps", dosEps + postScript, "Illustrator CS5"},
      {"a.eps", eps("Adobe Photoshop Version 12.0x20100407 [20100407.r.1103 2010/04/07:14:00:00 cutoff; r branch]"),
       "Photoshop CS5"},
      {"a.eps", eps("CorelDRAW X7"), "CorelDRAW X7"},
      {"a.ai", tool("Adobe Illustrator CC 2017 (Macintosh)"), "Illustrator CC 2017"},
      {"a.ai", tool("Adobe Illustrator CC 22.0 (Macintosh)"), "Illustrator CC 2018"},
      {"a.ai", tool("Adobe Illustrator 24.1 (Windows)"), "Illustrator 2020"},
      {"a.indd", tool("Adobe InDesign CS2 (4.0)"), "InDesign CS2 (4.0)"},
      {"a.indd", tool("Adobe InDesign 4.0"), "InDesign CS2 (4.0)"},
      {"a.indd", tool("Adobe InDesign CC 13.0 (Windows)"), "InDesign CC 2018 (13.0)"},
      {"a.indd", tool("Adobe InDesign 15.0 (Macintosh)"), "InDesign 2020 (15.0)"},
      {"a.eps", tool("Adobe Photoshop CS5 Windows"), "Photoshop CS5"},
      {"a.pdf", tool("Microsoft Word 8.0"), "Microsoft Word 8.0"},
      {"a.pdf", tool("glimpses-make-samples"), "glimpses-make-samples"},
      {"a.pdf", Pdf(""), "PDF 1.6"},
      {"a.ai", Pdf(""), ""},  // an Illustrator document in PDF form says nothing of its program
      {"a.cdr", riff(1400), "CorelDRAW X4"},
      {"a.cdr", riff(1300), "CorelDRAW X3"},
      {"a.cdr", riff(1100), "CorelDRAW 11"},
      {"a.cdr", noVrsn, "CorelDRAW 12"},
      {"a.cdr", "not a drawing at all", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VersionLabel(Read(c.name, c.content)), c.label) << c.content.substr(0, 120);
  }

  const std::string corelXmp = Packet("<cdr:AppVersion xmlns:cdr=\"http://namespace.corel.com/cdr/metadata/1.0/\">"
                                      "2210</cdr:AppVersion>");
  ASSERT_TRUE(WriteCorelZip(Path("new.cdr"), {{"META-INF/metadata.xml", Bytes(corelXmp.begin(), corelXmp.end())}}));
  Bytes riffX4 = BuildCorelRiff(1400, {});
  ASSERT_TRUE(WriteCorelZip(Path("x4.cdr"), {{"content/riffData.cdr", riffX4}}));
  EXPECT_EQ(VersionLabel(ReadDocumentMetadata(Path("new.cdr")).value()), "CorelDRAW 2020");
  EXPECT_EQ(VersionLabel(ReadDocumentMetadata(Path("x4.cdr")).value()), "CorelDRAW X4");
}

TEST_F(DocumentMetadataTest, BoundsWhatADocumentCanMakeItKeepOrParse) {
  std::string fonts;
  for (std::size_t i = 0; i < kMaxListItems + 100; ++i) fonts += Font("<stFnt:fontName>F" + std::to_string(i) + "</stFnt:fontName>");
  std::string longTitle;
  while (longTitle.size() < kMaxTextBytes + 10) longTitle += "\xC3\xA9";  // é
  std::string manyPackets;
  manyPackets += Stamped("2030-01-01T00:00:00Z", "Newest but beyond the packets kept");
  for (int i = 0; i < 40; ++i) manyPackets += Stamped("2020-01-01T00:00:00Z", "P" + std::to_string(i));
  const std::string huge = Packet(Tool("Huge") + "<dc:description>" + std::string(kMaxXmpPacketBytes, 'x') +
                                  "</dc:description>");

  DocumentMetadata listed = Read("fonts.pdf", Pdf(Packet("<xmpTPg:Fonts><rdf:Bag>" + fonts + "</rdf:Bag></xmpTPg:Fonts>")));
  EXPECT_EQ(listed.fonts.size(), kMaxListItems);
  DocumentMetadata titled = Read("title.pdf", Pdf(Packet("<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">" +
                                                         longTitle + "</rdf:li></rdf:Alt></dc:title>")));
  EXPECT_LE(titled.title.size(), kMaxTextBytes);
  EXPECT_EQ(titled.title.size() % 2, 0u) << "cut inside a character";
  EXPECT_EQ(Read("many.pdf", Pdf(manyPackets)).creatorTool, "P39");
  EXPECT_EQ(Read("huge.pdf", Pdf(huge)).creatorTool, "");
  DocumentMetadata odd = Read("odd.pdf", Pdf(Packet("<xmpTPg:NPages>-3</xmpTPg:NPages>"
                                                    "<xmpTPg:MaxPageSize stDim:w=\"nan\" stDim:h=\"1\"/>")));
  EXPECT_FALSE(odd.pages);
  EXPECT_FALSE(odd.pageSize);
  EXPECT_EQ(Read("open.pdf", Pdf("<?xpacket begin <xmpGImg:image=\"never closed")).creatorTool, "");
  DocumentMetadata empty;
  empty.kind = DocumentKind::kPdf;
  EXPECT_EQ(Read("empty.pdf", ""), empty);

  // Entries that are no regular file are never opened: a FIFO would block.
  ASSERT_EQ(mkfifo(Path("pipe.pdf").c_str(), 0600), 0);
  EXPECT_FALSE(ReadDocumentMetadata(Path("pipe.pdf")));
  EXPECT_FALSE(ReadDocumentMetadata(Path("missing.pdf")));
  EXPECT_FALSE(ReadDocumentMetadata(Write("notes.txt", Pdf(""))));
}

TEST_F(DocumentMetadataTest, HasThumbnailAgreesWithThePictureReader) {
  const std::vector<std::pair<std::string, Bytes>> documents = {
      {"xmp.pdf", BuildAdobeDocument(SampleJpeg(40, 30, 1), {})},
      {"hex.ai", BuildHexPreviewAi(20, 10, true)},
      {"none.eps", BuildDocumentWithoutThumbnail(DocumentKind::kEps, 0)},
      {"riff.cdr", BuildCorelRiff(1300, {{"DISP", SampleDispData(8, 8, 8), std::nullopt}})},
      {"bare.cdr", BuildCorelRiff(1300, {})},
  };
  for (const auto& [name, bytes] : documents) {
    const std::string path = Write(name, bytes);
    EXPECT_EQ(ReadDocumentMetadata(path)->hasThumbnail, ReadStoredPicture(path).picture.has_value()) << name;
  }
}

}  // namespace
}  // namespace glimpses
