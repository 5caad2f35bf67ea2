// Decks grown from a real one along one dimension at a time (shapes on a
// slide, paragraphs in a shape or on a notes page, runs in a paragraph, rows
// in a table, slides in the deck), so that the document's handling can be
// timed at one size and at four times it: the rest of the deck stays as it
// was, only the grown part differs.
#pragma once

#include <zip.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>

#include <pugixml.hpp>

#include "src/host/pptx/PptxPackage.h"
#include "src/host/pptx/Vocabulary.h"

namespace growdeck {

namespace fs = std::filesystem;
using host::pptx::Package;

inline const std::string kSlide1 = "ppt/slides/slide1.xml";

inline pugi::xml_node First(pugi::xml_node under, const char* local, const std::function<bool(pugi::xml_node)>& ok = {}) {
  for (pugi::xpath_node n : under.select_nodes(("descendant::*[local-name()='" + std::string(local) + "']").c_str()))
    if (!ok || ok(n.node())) return n.node();
  throw std::runtime_error(std::string("the deck has no ") + local + " to grow");
}

inline pugi::xml_node Tree(Package& pkg, const std::string& part) {
  return First(pkg.Xml(part).document_element(), "spTree");
}

// The first shape on the slide whose text body holds text in more than
// one paragraph or run, as the walk sees most text.
inline pugi::xml_node TextShape(Package& pkg, const std::string& part) {
  return First(Tree(pkg, part), "sp", [](pugi::xml_node sp) {
    return static_cast<bool>(sp.select_node("*[local-name()='txBody']/*[local-name()='p']/*[local-name()='r']"));
  });
}

// Copies `node` until its parent holds `count` copies of it (the original
// among them), each new shape under an id of its own.
inline void Repeat(pugi::xml_node node, int count) {
  static int nextId = 900000;
  for (int i = 1; i < count; ++i) {
    pugi::xml_node copy = node.parent().insert_copy_after(node, node);
    for (pugi::xpath_node id : copy.select_nodes("descendant-or-self::*[local-name()='cNvPr']"))
      id.node().attribute("id").set_value(++nextId);
  }
}

// Slides: copies of slide 1 (its notes and comments stay with the original).
inline std::string AddSlides(Package& pkg, int count) {
  const std::string pres = "ppt/presentation.xml";
  pugi::xml_node list = First(pkg.Xml(pres).document_element(), "sldIdLst");
  pugi::xml_document relsXml;
  relsXml.load_string(pkg.Bytes(Package::RelsPartName(kSlide1)).c_str());
  for (pugi::xml_node r = relsXml.document_element().first_child(); r;) {
    pugi::xml_node next = r.next_sibling();
    std::string type = r.attribute("Type").value();
    if (type.ends_with("/notesSlide") || type.ends_with("/comments")) relsXml.document_element().remove_child(r);
    r = next;
  }
  std::ostringstream out;
  relsXml.save(out, "", pugi::format_raw);
  const std::string type = pkg.ContentType(kSlide1), bytes = pkg.Bytes(kSlide1);
  for (int i = 1; i < count; ++i) {
    std::string part = "ppt/slides/grown" + std::to_string(i) + ".xml";
    pkg.SetPart(part, bytes, type);
    pkg.SetPart(Package::RelsPartName(part), out.str());
    std::string rid = pkg.AddRelationship(pres, "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide",
                                          part);
    pugi::xml_node id = list.append_copy(list.first_child());
    id.attribute("id").set_value(10000 + i);
    for (pugi::xml_attribute a : id.attributes())
      if (std::string(a.name()).ends_with(":id")) a.set_value(rid.c_str());
  }
  return pres;
}

struct Dimension {
  const char* name;
  int base;  // the 1x size
  // Grows the deck; answers the part it changed.
  std::function<std::string(Package&, int)> grow;
};

// What each row grows, in deck (with notes pages) and tableDeck (with a table).
inline std::vector<Dimension> Dimensions() {
  return {
      {"shapes per slide", 400, [](Package& p, int n) { return Repeat(TextShape(p, kSlide1), n), kSlide1; }},
      {"paragraphs per shape", 400,
       [](Package& p, int n) { return Repeat(First(TextShape(p, kSlide1), "p"), n), kSlide1; }},
      {"paragraphs per notes page", 400,
       [](Package& p, int n) {
         // The notes body takes the slide's first paragraph of text.
         const std::string notes = p.RelationshipByType(kSlide1, "notesSlide")->targetPart;
         pugi::xml_node body = First(Tree(p, notes), "txBody", [](pugi::xml_node b) {
           return static_cast<bool>(b.parent().select_node(".//*[local-name()='ph'][@type='body']"));
         });
         pugi::xml_node para = First(TextShape(p, kSlide1), "p");
         while (pugi::xml_node old = body.find_child([](pugi::xml_node c) { return std::string(c.name()) == "a:p"; }))
           body.remove_child(old);
         Repeat(body.append_copy(para), n);
         return notes;
       }},
      {"runs per paragraph", 400,
       [](Package& p, int n) {
         // Alternate bold and plain, so that the runs stay runs of their own.
         pugi::xml_node run = First(TextShape(p, kSlide1), "r");
         Repeat(run, n);
         int i = 0;
         for (pugi::xml_node r = run; r && std::string(r.name()) == run.name(); r = r.next_sibling(), ++i) {
           pugi::xml_node rPr = r.first_child();
           (rPr.attribute("b") ? rPr.attribute("b") : rPr.append_attribute("b")).set_value(i % 2 ? "1" : "0");
         }
         return kSlide1;
       }},
      {"rows per table", 200,
       [](Package& p, int n) { return Repeat(First(First(Tree(p, kSlide1), "tbl"), "tr"), n), kSlide1; }},
      {"slides per deck", 100, AddSlides},
  };
}

// The deck grown along one dimension to `count`, written to `to`.
inline void Grow(const fs::path& from, const Dimension& d, int count, const fs::path& to) {
  auto pkg = Package::Open(from);
  pkg->MarkDirty(d.grow(*pkg, count));
  pkg->Save(to);
}

// A deck whose first slide holds one text of `bytes` characters or more in
// paragraphs of about a hundred, for the memory a document takes.
inline void GrowText(const fs::path& from, std::size_t bytes, const fs::path& to) {
  auto pkg = Package::Open(from);
  pugi::xml_node para = First(TextShape(*pkg, kSlide1), "p");
  pugi::xml_node t = First(para, "t");
  t.text().set("The text of a large slide goes on and on, paragraph after paragraph, to fill a page or more.");
  Repeat(para, static_cast<int>(bytes / 100) + 1);
  pkg->MarkDirty(kSlide1);
  pkg->Save(to);
}

// The uncompressed size of the deck's XML parts, which is what the
// document reads and keeps.
inline std::uint64_t XmlPartsSize(const fs::path& deck) {
  int err = 0;
  zip_t* z = zip_open(deck.c_str(), ZIP_RDONLY, &err);
  if (!z) throw std::runtime_error("cannot open " + deck.string());
  std::uint64_t total = 0;
  for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
    zip_stat_t st;
    if (zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st) != 0) continue;
    std::string name = st.name;
    if (name.ends_with(".xml") || name.ends_with(".rels")) total += st.size;
  }
  zip_discard(z);
  return total;
}

}  // namespace growdeck
