#include "src/host/pptx/PptxDocument.h"

namespace host::pptx {

namespace {

constexpr const char* kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr const char* kNs =
    "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
    "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"";
constexpr const char* kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
constexpr const char* kPml = "application/vnd.openxmlformats-officedocument.presentationml.";

std::string Rels(std::initializer_list<std::pair<const char*, const char*>> rels) {
  std::string x = std::string(kDecl) +
                  "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  int n = 1;
  for (auto& [type, target] : rels)
    x += "<Relationship Id=\"rId" + std::to_string(n++) + "\" Type=\"" + kRel + type + "\" Target=\"" + target +
         "\"/>";
  return x + "</Relationships>";
}

const char* kTree =
    "<p:spTree><p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>";

std::string Placeholder(int id, const char* name, const char* ph, long x, long y, long cx, long cy) {
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"" + name +
         "\"/><p:cNvSpPr><a:spLocks noGrp=\"1\"/></p:cNvSpPr><p:nvPr><p:ph " + ph +
         "/></p:nvPr></p:nvSpPr><p:spPr><a:xfrm><a:off x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
         "\"/><a:ext cx=\"" + std::to_string(cx) + "\" cy=\"" + std::to_string(cy) +
         "\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></p:spPr><p:txBody><a:bodyPr/><a:lstStyle/>"
         "<a:p><a:endParaRPr lang=\"en-US\"/></a:p></p:txBody></p:sp>";
}

}  // namespace

// A blank 4:3 presentation: one master with title and body placeholders,
// one layout, a theme with Office's default fonts, and no slides.
std::shared_ptr<Document> Document::CreateEmpty() {
  std::shared_ptr<Document> d(new Document());
  d->mPackage = Package::Create();
  Package& p = *d->mPackage;
  p.SetPart("[Content_Types].xml",
            std::string(kDecl) +
                "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>");
  p.SetPart("_rels/.rels", Rels({{"officeDocument", "ppt/presentation.xml"}}));
  p.SetPart("ppt/presentation.xml",
            std::string(kDecl) + "<p:presentation " + kNs +
                " saveSubsetFonts=\"1\"><p:sldMasterIdLst><p:sldMasterId id=\"2147483648\" r:id=\"rId1\"/>"
                "</p:sldMasterIdLst><p:sldSz cx=\"9144000\" cy=\"6858000\" type=\"screen4x3\"/>"
                "<p:notesSz cx=\"6858000\" cy=\"9144000\"/><p:defaultTextStyle><a:lvl1pPr marL=\"0\" algn=\"l\">"
                "<a:defRPr sz=\"1800\"><a:latin typeface=\"+mn-lt\"/><a:ea typeface=\"+mn-ea\"/>"
                "<a:cs typeface=\"+mn-cs\"/></a:defRPr></a:lvl1pPr></p:defaultTextStyle></p:presentation>",
            std::string(kPml) + "presentation.main+xml");
  p.SetPart("ppt/_rels/presentation.xml.rels",
            Rels({{"slideMaster", "slideMasters/slideMaster1.xml"}, {"theme", "theme/theme1.xml"}}));
  p.SetPart("ppt/slideMasters/slideMaster1.xml",
            std::string(kDecl) + "<p:sldMaster " + kNs + "><p:cSld>" + kTree +
                Placeholder(2, "Title Placeholder 1", "type=\"title\"", 457200, 274638, 8229600, 1143000) +
                Placeholder(3, "Text Placeholder 2", "type=\"body\" idx=\"1\"", 457200, 1600200, 8229600, 4525963) +
                "</p:spTree></p:cSld><p:clrMap bg1=\"lt1\" tx1=\"dk1\" bg2=\"lt2\" tx2=\"dk2\" accent1=\"accent1\" "
                "accent2=\"accent2\" accent3=\"accent3\" accent4=\"accent4\" accent5=\"accent5\" "
                "accent6=\"accent6\" hlink=\"hlink\" folHlink=\"folHlink\"/><p:sldLayoutIdLst>"
                "<p:sldLayoutId id=\"2147483649\" r:id=\"rId1\"/></p:sldLayoutIdLst><p:txStyles><p:titleStyle>"
                "<a:lvl1pPr algn=\"ctr\"><a:defRPr sz=\"4400\"><a:latin typeface=\"+mj-lt\"/></a:defRPr>"
                "</a:lvl1pPr></p:titleStyle><p:bodyStyle><a:lvl1pPr marL=\"342900\" indent=\"-342900\">"
                "<a:defRPr sz=\"3200\"><a:latin typeface=\"+mn-lt\"/></a:defRPr></a:lvl1pPr></p:bodyStyle>"
                "<p:otherStyle><a:lvl1pPr><a:defRPr sz=\"1800\"/></a:lvl1pPr></p:otherStyle></p:txStyles>"
                "</p:sldMaster>",
            std::string(kPml) + "slideMaster+xml");
  p.SetPart("ppt/slideMasters/_rels/slideMaster1.xml.rels",
            Rels({{"slideLayout", "../slideLayouts/slideLayout1.xml"}, {"theme", "../theme/theme1.xml"}}));
  p.SetPart("ppt/slideLayouts/slideLayout1.xml",
            std::string(kDecl) + "<p:sldLayout " + kNs + " type=\"obj\" preserve=\"1\"><p:cSld name=\"Title and Content\">" +
                kTree + Placeholder(2, "Title 1", "type=\"title\"", 457200, 274638, 8229600, 1143000) +
                Placeholder(3, "Content Placeholder 2", "idx=\"1\"", 457200, 1600200, 8229600, 4525963) +
                "</p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sldLayout>",
            std::string(kPml) + "slideLayout+xml");
  p.SetPart("ppt/slideLayouts/_rels/slideLayout1.xml.rels",
            Rels({{"slideMaster", "../slideMasters/slideMaster1.xml"}}));
  std::string colors;
  const char* names[] = {"dk1", "lt1", "dk2", "lt2", "accent1", "accent2", "accent3", "accent4", "accent5",
                         "accent6", "hlink", "folHlink"};
  const char* values[] = {"000000", "FFFFFF", "1F497D", "EEECE1", "4F81BD", "C0504D",
                          "9BBB59", "8064A2", "4BACC6", "F79646", "0000FF", "800080"};
  for (int i = 0; i < 12; ++i)
    colors += std::string("<a:") + names[i] + "><a:srgbClr val=\"" + values[i] + "\"/></a:" + names[i] + ">";
  std::string fill = "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>";
  p.SetPart("ppt/theme/theme1.xml",
            std::string(kDecl) +
                "<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" name=\"Office Theme\">"
                "<a:themeElements><a:clrScheme name=\"Office\">" + colors +
                "</a:clrScheme><a:fontScheme name=\"Office\"><a:majorFont><a:latin typeface=\"Calibri\"/>"
                "<a:ea typeface=\"\"/><a:cs typeface=\"\"/></a:majorFont><a:minorFont><a:latin typeface=\"Calibri\"/>"
                "<a:ea typeface=\"\"/><a:cs typeface=\"\"/></a:minorFont></a:fontScheme><a:fmtScheme name=\"Office\">"
                "<a:fillStyleLst>" + fill + fill + fill + "</a:fillStyleLst><a:lnStyleLst><a:ln w=\"9525\">" + fill +
                "</a:ln><a:ln w=\"25400\">" + fill + "</a:ln><a:ln w=\"38100\">" + fill +
                "</a:ln></a:lnStyleLst><a:effectStyleLst><a:effectStyle><a:effectLst/></a:effectStyle><a:effectStyle>"
                "<a:effectLst/></a:effectStyle><a:effectStyle><a:effectLst/></a:effectStyle></a:effectStyleLst>"
                "<a:bgFillStyleLst>" + fill + fill + fill + "</a:bgFillStyleLst></a:fmtScheme></a:themeElements>"
                "</a:theme>",
            "application/vnd.openxmlformats-officedocument.theme+xml");
  d->Load();
  return d;
}

}  // namespace host::pptx
