// The XML vocabulary of presentation packages in both conformance classes.
//
// A deck is written with the transitional names
// (http://schemas.openxmlformats.org/...) or with the strict ones
// (http://purl.oclc.org/ooxml/...), and relationship types of either family
// turn up in either kind of deck. So reading code finds elements by local
// name or by namespace URI, never by prefix, and takes a relationship type in
// both spellings. Writing code uses the prefix the part already binds to a
// namespace and, for whatever it declares or creates (a namespace, a part, a
// relationship), the class of the deck: a strict deck stays strict.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "src/host/pptx/PptxPackage.h"

namespace host::pptx {

class Document;

enum class Conformance { Transitional, Strict };

struct XmlNamespace {
  const char* transitional;
  const char* strict;
  const char* prefix;  // used when a part has to declare the namespace
  const char* Uri(Conformance c) const { return c == Conformance::Strict ? strict : transitional; }
  bool Matches(std::string_view uri) const { return uri == transitional || uri == strict; }
};

struct RelationshipType {
  const char* transitional;
  const char* strict;
  const char* Uri(Conformance c) const { return c == Conformance::Strict ? strict : transitional; }
  bool Matches(std::string_view type) const { return type == transitional || type == strict; }
};

inline constexpr XmlNamespace kPresentationMl{"http://schemas.openxmlformats.org/presentationml/2006/main",
                                              "http://purl.oclc.org/ooxml/presentationml/main", "p"};
inline constexpr XmlNamespace kDrawingMl{"http://schemas.openxmlformats.org/drawingml/2006/main",
                                         "http://purl.oclc.org/ooxml/drawingml/main", "a"};
inline constexpr XmlNamespace kRelationshipsNs{"http://schemas.openxmlformats.org/officeDocument/2006/relationships",
                                               "http://purl.oclc.org/ooxml/officeDocument/relationships", "r"};
inline constexpr XmlNamespace kCustomPropertiesNs{
    "http://schemas.openxmlformats.org/officeDocument/2006/custom-properties",
    "http://purl.oclc.org/ooxml/officeDocument/customProperties", "op"};
inline constexpr XmlNamespace kVariantTypesNs{"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes",
                                              "http://purl.oclc.org/ooxml/officeDocument/docPropsVTypes", "vt"};

inline constexpr RelationshipType kSlideRel{"http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide",
                                            "http://purl.oclc.org/ooxml/officeDocument/relationships/slide"};
inline constexpr RelationshipType kNotesSlideRel{
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/notesSlide",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/notesSlide"};
inline constexpr RelationshipType kNotesMasterRel{
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/notesMaster",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/notesMaster"};
inline constexpr RelationshipType kThemeRel{"http://schemas.openxmlformats.org/officeDocument/2006/relationships/theme",
                                            "http://purl.oclc.org/ooxml/officeDocument/relationships/theme"};
inline constexpr RelationshipType kCommentsRel{
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/comments"};
inline constexpr RelationshipType kCommentAuthorsRel{
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/commentAuthors",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/commentAuthors"};
inline constexpr RelationshipType kDiagramDataRel{
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/diagramData",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/diagramData"};
// A diagram's drawing comes from an extension that has one spelling only.
inline constexpr RelationshipType kDiagramDrawingRel{
    "http://schemas.microsoft.com/office/2007/relationships/diagramDrawing",
    "http://schemas.microsoft.com/office/2007/relationships/diagramDrawing"};
inline constexpr RelationshipType kCustomPropertiesRel{
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/customProperties"};
// Threaded comments come from a later extension that has one spelling only.
inline constexpr RelationshipType kThreadedCommentsRel{
    "http://schemas.microsoft.com/office/2018/10/relationships/comments",
    "http://schemas.microsoft.com/office/2018/10/relationships/comments"};
inline constexpr RelationshipType kThreadedAuthorsRel{
    "http://schemas.microsoft.com/office/2018/10/relationships/authors",
    "http://schemas.microsoft.com/office/2018/10/relationships/authors"};

// Content types are the same in both classes.
inline constexpr const char* kNotesSlideType =
    "application/vnd.openxmlformats-officedocument.presentationml.notesSlide+xml";
inline constexpr const char* kNotesMasterType =
    "application/vnd.openxmlformats-officedocument.presentationml.notesMaster+xml";
inline constexpr const char* kThemeType = "application/vnd.openxmlformats-officedocument.theme+xml";
inline constexpr const char* kCommentsType =
    "application/vnd.openxmlformats-officedocument.presentationml.comments+xml";
inline constexpr const char* kCommentAuthorsType =
    "application/vnd.openxmlformats-officedocument.presentationml.commentAuthors+xml";
inline constexpr const char* kThreadedCommentsType = "application/vnd.ms-powerpoint.comments+xml";
inline constexpr const char* kThreadedAuthorsType = "application/vnd.ms-powerpoint.authors+xml";

// Element matching by local name ("sp" for "p:sp" in any namespace binding).
std::string_view LocalName(pugi::xml_node node);
// The prefix of a name as written ("p" for "p:sp", "" for "sp").
std::string_view PrefixOf(pugi::xml_node node);
// `local` under the prefix `like` is written with ("a:t" for an "a:r").
std::string NameLike(pugi::xml_node like, std::string_view local);
bool Is(pugi::xml_node node, std::string_view localName);
// A colour as the format spells it ("1F497D") as 0xRRGGBB; none when malformed.
std::optional<std::uint32_t> HexColor(std::string_view v);
pugi::xml_node Child(pugi::xml_node parent, std::string_view localName);
std::vector<pugi::xml_node> Children(pugi::xml_node parent, std::string_view localName);
// Attribute by local name ("r:id" matches "id" in any prefix only when
// asked with the prefix stripped); empty attribute when absent.
pugi::xml_attribute Attr(pugi::xml_node node, std::string_view localName);
// Sets the attribute `name` to a UTF-8 text, appending it when absent; an
// empty text removes it, as PowerPoint writes no empty alternative text,
// title or link tip.
void SetOrRemove(pugi::xml_node node, const char* name, const std::string& text);
// Creates a child element named like its siblings' prefix would (uses the
// prefix of `parent`), at the end or before `before`.
pugi::xml_node AppendChildLike(pugi::xml_node parent, std::string_view localName,
                               pugi::xml_node before = {});

// The URI a prefix ("" for the default namespace) is bound to where `scope`
// sits; empty when it is unbound there.
std::string_view NamespaceOfPrefix(pugi::xml_node scope, std::string_view prefix);
// The namespace URI of an element.
std::string_view NamespaceUri(pugi::xml_node element);
// The attribute `local` of an element in namespace ns, either class
// (the r:id of a slide id); empty attribute when absent.
pugi::xml_attribute AttrIn(pugi::xml_node element, const XmlNamespace& ns, std::string_view local);

// Strict when the element (a part's root) is in a strict namespace.
Conformance ConformanceOf(pugi::xml_node element);
// The class of a deck: that of its presentation part.
Conformance ConformanceOf(Document& doc);

// The prefix ("" for a default namespace) bound to ns, either class, where
// `scope` sits. When none is, ns is declared on the part's root element in
// class c, under ns.prefix or, when that prefix is taken, a free variant.
std::string NamespacePrefix(pugi::xml_node scope, const XmlNamespace& ns, Conformance c);
// "a" + "p" -> "a:p"; "" + "p" -> "p".
std::string QualifiedName(std::string_view prefix, std::string_view local);

// Names, values and texts of the XML (UTF-8) as host strings, and back.
std::wstring W(std::string_view utf8);
std::string U(std::wstring_view text);

// A relationship type's name with the strict spellings that differ mapped
// to the transitional ones ("…/customProperties" -> "custom-properties");
// for comparing types by name across both classes.
std::string RelationshipName(std::string_view type);
// The first relationship of exactly this type, either class, that points at
// a part the package holds; none when there is no such relationship. Unlike
// Package::RelationshipByType, which goes by the type's last word, this
// tells apart types that end in the same word (legacy and threaded comments).
std::optional<Relationship> RelationshipOfType(Package& pkg, const std::string& source, const RelationshipType& type);

}  // namespace host::pptx
