// Builds small presentation packages in code, so host tests state exactly
// the XML they exercise.
#pragma once

#include <unistd.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/common/Paths.h"
#include "tests/common/TempDir.h"

namespace decktest {

inline constexpr const char* kNs =
    "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
    "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"";
inline constexpr const char* kRelBase = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

struct Rel {
  std::string id, type, target;  // type: last segment ("image", "diagramData" ...)
};

struct Deck {
  std::vector<std::string> slides;              // shapes inside each slide's p:spTree
  std::map<int, std::vector<Rel>> slideRels;    // extra relationships of slide i (0-based)
  std::string layoutShapes;
  std::string masterShapes;
  std::string presentationExtra;                // appended inside p:presentation
  std::vector<Rel> rootRels;                    // package relationships beside the main part
  std::string mainContentType = "application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml";
  // Extra parts: name -> (content type, bytes); an empty content type adds no override.
  std::map<std::string, std::pair<std::string, std::string>> parts;
};

inline std::string Xfrm(long x, long y, long cx, long cy) {
  return "<a:xfrm><a:off x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\"/><a:ext cx=\"" +
         std::to_string(cx) + "\" cy=\"" + std::to_string(cy) + "\"/></a:xfrm>";
}

inline std::string Body(const std::string& text, const std::string& bodyPr = "<a:bodyPr/>") {
  if (text.empty()) return "<p:txBody>" + bodyPr + "<a:lstStyle/><a:p/></p:txBody>";
  return "<p:txBody>" + bodyPr + "<a:lstStyle/><a:p><a:r><a:rPr lang=\"en-US\"/><a:t>" + text +
         "</a:t></a:r></a:p></p:txBody>";
}

// A rectangle auto shape (or a text box) at the given EMU position.
inline std::string Sp(int id, const std::string& name, long x, long y, long cx, long cy, const std::string& text,
                      bool textBox = false, const std::string& prst = "rect") {
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"" + name + "\"/><p:cNvSpPr" +
         (textBox ? " txBox=\"1\"" : "") + "/><p:nvPr/></p:nvSpPr><p:spPr>" + Xfrm(x, y, cx, cy) +
         "<a:prstGeom prst=\"" + prst + "\"><a:avLst/></a:prstGeom></p:spPr>" + Body(text) + "</p:sp>";
}

// A placeholder; an empty xfrm makes it inherit its geometry.
inline std::string Ph(int id, const std::string& name, const std::string& phAttrs, const std::string& xfrm,
                      const std::string& text) {
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"" + name +
         "\"/><p:cNvSpPr/><p:nvPr><p:ph " + phAttrs + "/></p:nvPr></p:nvSpPr><p:spPr>" + xfrm + "</p:spPr>" +
         Body(text) + "</p:sp>";
}

inline std::string Group(int id, const std::string& name, const std::string& xfrmInner, const std::string& children) {
  return "<p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"" + name +
         "\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr><a:xfrm>" + xfrmInner + "</a:xfrm></p:grpSpPr>" +
         children + "</p:grpSp>";
}

inline std::string GraphicFrame(int id, const std::string& name, const std::string& uri, const std::string& data,
                                const std::string& ph = "") {
  return "<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"" + name +
         "\"/><p:cNvGraphicFramePr/><p:nvPr>" + ph + "</p:nvPr></p:nvGraphicFramePr>" +
         "<p:xfrm><a:off x=\"1270000\" y=\"1270000\"/><a:ext cx=\"2540000\" cy=\"1270000\"/></p:xfrm>" +
         "<a:graphic><a:graphicData uri=\"" + uri + "\">" + data + "</a:graphicData></a:graphic></p:graphicFrame>";
}

inline std::string Cell(const std::string& text, const std::string& attrs = "") {
  return "<a:tc" + attrs + "><a:txBody><a:bodyPr/><a:lstStyle/><a:p>" +
         (text.empty() ? "" : "<a:r><a:rPr lang=\"en-US\"/><a:t>" + text + "</a:t></a:r>") +
         "</a:p></a:txBody><a:tcPr/></a:tc>";
}

inline std::string Table(int id, const std::string& name, int cols, const std::vector<std::string>& rows,
                         const std::string& ph = "") {
  std::string grid = "<a:tblGrid>";
  for (int c = 0; c < cols; ++c) grid += "<a:gridCol w=\"1270000\"/>";
  grid += "</a:tblGrid>";
  std::string trs;
  for (auto& r : rows) trs += "<a:tr h=\"381000\">" + r + "</a:tr>";
  return GraphicFrame(id, name, "http://schemas.openxmlformats.org/drawingml/2006/table",
                      "<a:tbl><a:tblPr/>" + grid + trs + "</a:tbl>", ph);
}

using Entries = std::vector<std::pair<std::string, std::string>>;  // name -> bytes, in entry order

// Writes a zip of the entries as given; a name ending in '/' is a folder.
inline void WriteEntries(const std::filesystem::path& file, const Entries& entries) {
  int err = 0;
  zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!z) throw std::runtime_error("cannot create " + file.string());
  for (auto& [name, data] : entries) {
    zip_int64_t added = name.ends_with('/') ? zip_dir_add(z, name.c_str(), ZIP_FL_ENC_UTF_8)
                                            : zip_file_add(z, name.c_str(), zip_source_buffer(z, data.data(), data.size(), 0),
                                                           ZIP_FL_ENC_UTF_8);
    if (added < 0) throw std::runtime_error("zip add " + name);
  }
  if (zip_close(z) != 0) {
    zip_discard(z);
    throw std::runtime_error("cannot write " + file.string());
  }
}

inline std::string RelsXml(const std::vector<Rel>& rels) {
  std::string x =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships "
      "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  for (auto& r : rels) {
    std::string type = r.type.find("://") != std::string::npos ? r.type : kRelBase + r.type;
    x += "<Relationship Id=\"" + r.id + "\" Type=\"" + type + "\" Target=\"" + r.target + "\"/>";
  }
  return x + "</Relationships>";
}

inline std::string SpTree(const std::string& shapes) {
  return "<p:spTree><p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>"
         "<p:grpSpPr/>" + shapes + "</p:spTree>";
}

inline void Write(const Deck& d, const std::filesystem::path& file) {
  const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
  Entries e;
  std::string ct = decl +
                   "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                   "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                   "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                   "<Override PartName=\"/ppt/presentation.xml\" ContentType=\"" + d.mainContentType + "\"/>"
                   "<Override PartName=\"/ppt/slideMasters/slideMaster1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.presentationml.slideMaster+xml\"/>"
                   "<Override PartName=\"/ppt/slideLayouts/slideLayout1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.presentationml.slideLayout+xml\"/>"
                   "<Override PartName=\"/ppt/theme/theme1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.theme+xml\"/>";
  for (std::size_t i = 0; i < d.slides.size(); ++i)
    ct += "<Override PartName=\"/ppt/slides/slide" + std::to_string(i + 1) +
          ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.presentationml.slide+xml\"/>";
  for (auto& [name, p] : d.parts)
    if (!p.first.empty()) ct += "<Override PartName=\"/" + name + "\" ContentType=\"" + p.first + "\"/>";
  ct += "</Types>";
  e.push_back({"[Content_Types].xml", ct});
  std::vector<Rel> root = {{"rId1", "officeDocument", "ppt/presentation.xml"}};
  root.insert(root.end(), d.rootRels.begin(), d.rootRels.end());
  e.push_back({"_rels/.rels", RelsXml(root)});

  std::string pres = decl + "<p:presentation " + kNs +
                     "><p:sldMasterIdLst><p:sldMasterId id=\"2147483648\" r:id=\"rIdM\"/></p:sldMasterIdLst><p:sldIdLst>";
  std::vector<Rel> presRels = {{"rIdM", "slideMaster", "slideMasters/slideMaster1.xml"},
                               {"rIdT", "theme", "theme/theme1.xml"}};
  for (std::size_t i = 0; i < d.slides.size(); ++i) {
    pres += "<p:sldId id=\"" + std::to_string(256 + i) + "\" r:id=\"rIdS" + std::to_string(i + 1) + "\"/>";
    presRels.push_back({"rIdS" + std::to_string(i + 1), "slide", "slides/slide" + std::to_string(i + 1) + ".xml"});
  }
  pres += "</p:sldIdLst><p:sldSz cx=\"9144000\" cy=\"6858000\"/><p:notesSz cx=\"6858000\" cy=\"9144000\"/>"
          "<p:defaultTextStyle><a:lvl1pPr><a:defRPr sz=\"1800\"/></a:lvl1pPr></p:defaultTextStyle>" +
          d.presentationExtra + "</p:presentation>";
  e.push_back({"ppt/presentation.xml", pres});
  e.push_back({"ppt/_rels/presentation.xml.rels", RelsXml(presRels)});

  e.push_back({"ppt/slideMasters/slideMaster1.xml",
               decl + "<p:sldMaster " + kNs + "><p:cSld>" + SpTree(d.masterShapes) +
                   "</p:cSld><p:clrMap bg1=\"lt1\" tx1=\"dk1\" bg2=\"lt2\" tx2=\"dk2\" accent1=\"accent1\" "
                   "accent2=\"accent2\" accent3=\"accent3\" accent4=\"accent4\" accent5=\"accent5\" accent6=\"accent6\" "
                   "hlink=\"hlink\" folHlink=\"folHlink\"/><p:sldLayoutIdLst><p:sldLayoutId id=\"2147483649\" "
                   "r:id=\"rIdL\"/></p:sldLayoutIdLst><p:txStyles><p:titleStyle><a:lvl1pPr><a:defRPr sz=\"4400\"/>"
                   "</a:lvl1pPr></p:titleStyle><p:bodyStyle><a:lvl1pPr><a:defRPr sz=\"3200\"/></a:lvl1pPr></p:bodyStyle>"
                   "<p:otherStyle><a:lvl1pPr><a:defRPr sz=\"1800\"/></a:lvl1pPr></p:otherStyle></p:txStyles></p:sldMaster>"});
  e.push_back({"ppt/slideMasters/_rels/slideMaster1.xml.rels",
               RelsXml({{"rIdL", "slideLayout", "../slideLayouts/slideLayout1.xml"}, {"rIdT", "theme", "../theme/theme1.xml"}})});
  e.push_back({"ppt/slideLayouts/slideLayout1.xml",
               decl + "<p:sldLayout " + kNs + "><p:cSld name=\"Title and Content\">" + SpTree(d.layoutShapes) +
                   "</p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sldLayout>"});
  e.push_back({"ppt/slideLayouts/_rels/slideLayout1.xml.rels",
               RelsXml({{"rId1", "slideMaster", "../slideMasters/slideMaster1.xml"}})});
  e.push_back({"ppt/theme/theme1.xml",
               decl + "<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" name=\"T\">"
                      "<a:themeElements><a:fontScheme name=\"F\"><a:majorFont><a:latin typeface=\"Liberation Serif\"/>"
                      "<a:ea typeface=\"\"/><a:cs typeface=\"\"/></a:majorFont><a:minorFont><a:latin "
                      "typeface=\"Liberation Sans\"/><a:ea typeface=\"\"/><a:cs typeface=\"\"/></a:minorFont>"
                      "</a:fontScheme></a:themeElements></a:theme>"});
  for (std::size_t i = 0; i < d.slides.size(); ++i) {
    std::string n = std::to_string(i + 1);
    e.push_back({"ppt/slides/slide" + n + ".xml",
                 decl + "<p:sld " + kNs + "><p:cSld>" + SpTree(d.slides[i]) +
                     "</p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sld>"});
    std::vector<Rel> rels = {{"rIdLayout", "slideLayout", "../slideLayouts/slideLayout1.xml"}};
    auto it = d.slideRels.find(static_cast<int>(i));
    if (it != d.slideRels.end()) rels.insert(rels.end(), it->second.begin(), it->second.end());
    e.push_back({"ppt/slides/_rels/slide" + n + ".xml.rels", RelsXml(rels)});
  }
  for (auto& [name, p] : d.parts) e.push_back({name, p.second});
  WriteEntries(file, e);
}

// Every entry of a zip file, name -> uncompressed bytes, in entry order.
inline Entries ReadEntries(const std::filesystem::path& file) {
  Entries out;
  int err = 0;
  zip_t* z = zip_open(file.c_str(), ZIP_RDONLY, &err);
  if (!z) throw std::runtime_error("cannot open " + file.string());
  zip_int64_t n = zip_get_num_entries(z, 0);
  for (zip_int64_t i = 0; i < n; ++i) {
    zip_stat_t st;
    zip_stat_index(z, i, 0, &st);
    std::string data(st.size, '\0');
    zip_file_t* f = zip_fopen_index(z, i, 0);
    if (st.size) zip_fread(f, data.data(), st.size);
    zip_fclose(f);
    out.push_back({st.name, data});
  }
  zip_discard(z);
  return out;
}

// Writes the zip `from` again as `to` (the same file or another) with the
// bytes of the entry `name` changed by edit.
inline void CopyEditing(const std::filesystem::path& from, const std::filesystem::path& to, const std::string& name,
                        const std::function<void(std::string&)>& edit) {
  Entries entries = ReadEntries(from);
  for (auto& [entry, bytes] : entries)
    if (entry == name) edit(bytes);
  WriteEntries(to, entries);
}

}  // namespace decktest
