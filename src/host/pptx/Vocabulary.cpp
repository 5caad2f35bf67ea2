#include "src/host/pptx/Vocabulary.h"

#include <cstdlib>

#include "src/host/pptx/PptxDocument.h"
#include "src/platform/Strings.h"

namespace host::pptx {

// Called for every child of every paragraph on each text operation: one
// pass over the name instead of measuring, then searching it.
std::string_view LocalName(pugi::xml_node node) {
  const char* name = node.name();
  const char* local = name;
  const char* p = name;
  for (; *p; ++p)
    if (*p == ':' && local == name) local = p + 1;
  return {local, static_cast<size_t>(p - local)};
}

std::string_view PrefixOf(pugi::xml_node node) {
  std::string_view n = node.name();
  auto c = n.find(':');
  return c == std::string_view::npos ? std::string_view() : n.substr(0, c);
}

std::string NameLike(pugi::xml_node like, std::string_view local) { return QualifiedName(PrefixOf(like), local); }

std::wstring W(std::string_view utf8) { return platform::FromUtf8(utf8); }
std::string U(std::wstring_view text) { return platform::ToUtf8(text); }

std::optional<std::uint32_t> HexColor(std::string_view v) {
  if (v.size() != 6) return std::nullopt;
  char* end = nullptr;
  std::string s(v);
  unsigned long n = std::strtoul(s.c_str(), &end, 16);
  if (!end || *end) return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

namespace {

// Whether a qualified name has the given local part. Child searches pass
// many siblings that differ in their first letters, so the name is read
// only up to the first difference; and only a match asks for the node's
// type (text nodes have empty names).
inline bool HasLocalName(const char* name, std::string_view localName) {
  const char* p = name;
  while (*p && *p != ':') ++p;
  const char* local = *p ? p + 1 : name;
  for (char c : localName)
    if (*local++ != c) return false;
  return *local == '\0';
}

inline bool IsElement(pugi::xml_node node, std::string_view localName) {
  return HasLocalName(node.name(), localName) && node.type() == pugi::node_element;
}

}  // namespace

bool Is(pugi::xml_node node, std::string_view localName) { return IsElement(node, localName); }

pugi::xml_node Child(pugi::xml_node parent, std::string_view localName) {
  for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
    if (IsElement(c, localName)) return c;
  return {};
}

std::vector<pugi::xml_node> Children(pugi::xml_node parent, std::string_view localName) {
  std::vector<pugi::xml_node> out;
  for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
    if (IsElement(c, localName)) out.push_back(c);
  return out;
}

pugi::xml_attribute Attr(pugi::xml_node node, std::string_view localName) {
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
    std::string_view n = a.name();
    if (n == localName) return a;
    auto c = n.find(':');
    if (c != std::string_view::npos && n.substr(0, c) != "xmlns" && n.substr(c + 1) == localName) return a;
  }
  return {};
}

void SetOrRemove(pugi::xml_node node, const char* name, const std::string& text) {
  if (text.empty()) {
    node.remove_attribute(name);
    return;
  }
  pugi::xml_attribute a = node.attribute(name);
  if (!a) a = node.append_attribute(name);
  a.set_value(text.c_str());
}

pugi::xml_node AppendChildLike(pugi::xml_node parent, std::string_view localName, pugi::xml_node before) {
  std::string name = NameLike(parent, localName);
  return before ? parent.insert_child_before(name.c_str(), before) : parent.append_child(name.c_str());
}

std::string_view NamespaceOfPrefix(pugi::xml_node scope, std::string_view prefix) {
  std::string decl = prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(prefix);
  for (pugi::xml_node n = scope; n && n.type() == pugi::node_element; n = n.parent())
    if (pugi::xml_attribute a = n.attribute(decl.c_str())) return a.value();
  return {};
}

std::string_view NamespaceUri(pugi::xml_node element) { return NamespaceOfPrefix(element, PrefixOf(element)); }

pugi::xml_attribute AttrIn(pugi::xml_node element, const XmlNamespace& ns, std::string_view local) {
  for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
    std::string_view n = a.name();
    // Unprefixed attributes are in no namespace.
    auto c = n.find(':');
    if (c == std::string_view::npos || n.substr(c + 1) != local || n.substr(0, c) == "xmlns") continue;
    if (ns.Matches(NamespaceOfPrefix(element, n.substr(0, c)))) return a;
  }
  return {};
}

Conformance ConformanceOf(pugi::xml_node element) {
  return NamespaceUri(element).starts_with("http://purl.oclc.org/ooxml/") ? Conformance::Strict
                                                                          : Conformance::Transitional;
}

Conformance ConformanceOf(Document& doc) {
  return ConformanceOf(doc.Pkg().Xml(doc.PresentationPart()).document_element());
}

std::string NamespacePrefix(pugi::xml_node scope, const XmlNamespace& ns, Conformance c) {
  for (pugi::xml_node n = scope; n && n.type() == pugi::node_element; n = n.parent())
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
      std::string_view name = a.name();
      if (!ns.Matches(a.value())) continue;
      std::string prefix;
      if (name.starts_with("xmlns:"))
        prefix = name.substr(6);
      else if (name != "xmlns")
        continue;
      // A nearer declaration may have bound the prefix to something else.
      if (ns.Matches(NamespaceOfPrefix(scope, prefix))) return prefix;
    }
  pugi::xml_node root = scope;
  while (root.parent() && root.parent().type() == pugi::node_element) root = root.parent();
  std::string prefix = ns.prefix;
  for (int n = 1; !NamespaceOfPrefix(scope, prefix).empty(); ++n) prefix = ns.prefix + std::to_string(n);
  root.append_attribute(("xmlns:" + prefix).c_str()) = ns.Uri(c);
  return prefix;
}

std::string QualifiedName(std::string_view prefix, std::string_view local) {
  std::string s(prefix);
  if (!s.empty()) s += ':';
  s += local;
  return s;
}

std::string RelationshipName(std::string_view type) {
  auto slash = type.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? type : type.substr(slash + 1);
  if (name == "customProperties") return "custom-properties";
  if (name == "extendedProperties") return "extended-properties";
  return std::string(name);
}

std::optional<Relationship> RelationshipOfType(Package& pkg, const std::string& source, const RelationshipType& type) {
  for (const Relationship& r : pkg.KnownRelationships(source))
    if (type.Matches(r.type) && !r.external && !r.targetPart.empty() && pkg.HasPart(r.targetPart)) return r;
  return std::nullopt;
}

}  // namespace host::pptx
