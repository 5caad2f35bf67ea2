// Review comments of a slide, in both forms a package can hold them:
//
// - legacy comments: ppt/comments/commentN.xml (p:cmLst/p:cm with a plain
//   p:text, position in 1/8 point) with authors in ppt/commentAuthors.xml;
//   replies are further p:cm elements whose p15:threadingInfo names their
//   parent by author id and index;
// - threaded comments: ppt/comments/modernComment_*.xml (p188:cmLst/p188:cm
//   with a DrawingML text body, position in EMU, replies inside
//   p188:replyLst) with authors in ppt/authors.xml.
//
// New comments go into the form the deck already uses; a deck without any
// gets legacy comments, which every version and other office suites show.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>

#include "src/host/pptx/PptxDocument.h"
#include "src/host/pptx/TextBody.h"
#include "src/platform/ComError.h"

namespace host::pptx {
namespace {

constexpr const char* kP188Ns = "http://schemas.microsoft.com/office/powerpoint/2018/8/main";
constexpr const char* kP15Ns = "http://schemas.microsoft.com/office/powerpoint/2012/main";
constexpr const char* kPcNs = "http://schemas.microsoft.com/office/powerpoint/2013/main/command";
constexpr const char* kThreadingExt = "{C676402C-5697-4E1C-873F-D02D1690AC5C}";

// Legacy positions are in 1/8 point, threaded ones in EMU.
constexpr double kLegacyUnitsPerPoint = 8.0;
constexpr double kEmuPerPt = 12700.0;

std::string Now() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  int ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[80];  // room for any int the compiler cannot rule out
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
  return buf;
}

std::string NewGuid() {
  static std::mt19937_64 rng{std::random_device{}()};
  std::uint64_t a = rng(), b = rng();
  char buf[64];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-4%03X-%04X-%012llX}", static_cast<unsigned>(a >> 32),
                static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFF),
                static_cast<unsigned>(0x8000 | ((b >> 48) & 0x3FFF)),
                static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
  return buf;
}

std::string FreePartName(Package& pkg, const std::string& stem, const std::string& ext) {
  for (int n = 1;; ++n) {
    std::string name = stem + std::to_string(n) + ext;
    if (!pkg.HasPart(name)) return name;
  }
}

// The slide's creation id (p14:creationId), which a threaded comment's
// slide moniker carries beside the slide id; 0 when the slide has none.
std::string CreationId(Document& doc, const std::string& slidePart) {
  pugi::xml_node slide = doc.Pkg().Xml(slidePart).document_element();
  for (pugi::xml_node ext : Child(slide, "extLst").children())
    if (pugi::xml_node id = Child(ext, "creationId")) return id.attribute("val").as_string("0");
  return "0";
}

std::string Utf8(const std::wstring& s) { return pugi::as_utf8(s); }
std::wstring Wide(const char* s) { return pugi::as_wide(s); }

// Author list of either form; creates the part on demand.
class Authors {
 public:
  Authors(Document& doc, bool modern) : mDoc(doc), mModern(modern) {}

  pugi::xml_node Root(bool create) {
    Package& pkg = mDoc.Pkg();
    const std::string& pres = mDoc.PresentationPart();
    if (auto rel = RelationshipOfType(pkg, pres, mModern ? kThreadedAuthorsRel : kCommentAuthorsRel))
      return pkg.Xml(rel->targetPart).document_element();
    if (!create) return {};
    std::string part = mModern ? "ppt/authors.xml" : "ppt/commentAuthors.xml";
    if (pkg.HasPart(part)) part = FreePartName(pkg, mModern ? "ppt/authors" : "ppt/commentAuthors", ".xml");
    Conformance c = ConformanceOf(mDoc);
    pugi::xml_document& d = pkg.AddXmlPart(part, mModern ? kThreadedAuthorsType : kCommentAuthorsType);
    pugi::xml_node root;
    if (mModern) {
      root = d.append_child("p188:authorLst");
      root.append_attribute("xmlns:a") = kDrawingMl.Uri(c);
      root.append_attribute("xmlns:r") = kRelationshipsNs.Uri(c);
      root.append_attribute("xmlns:p188") = kP188Ns;
    } else {
      root = d.append_child("p:cmAuthorLst");
      root.append_attribute("xmlns:a") = kDrawingMl.Uri(c);
      root.append_attribute("xmlns:r") = kRelationshipsNs.Uri(c);
      root.append_attribute("xmlns:p") = kPresentationMl.Uri(c);
    }
    pkg.AddRelationship(pres, (mModern ? kThreadedAuthorsRel : kCommentAuthorsRel).Uri(c), part);
    mDoc.MarkDirty(part);
    return root;
  }

  pugi::xml_node ById(const std::string& id) {
    for (pugi::xml_node a = Root(false).first_child(); a; a = a.next_sibling())
      if (LocalName(a) == (mModern ? "author" : "cmAuthor") && id == a.attribute("id").value()) return a;
    return {};
  }

  // The author with this name and initials, added when the list has none.
  pugi::xml_node Find(const std::wstring& name, const std::wstring& initials) {
    pugi::xml_node root = Root(true);
    std::string n = Utf8(name), i = Utf8(initials);
    long maxId = -1;
    for (pugi::xml_node a = root.first_child(); a; a = a.next_sibling()) {
      if (LocalName(a) != (mModern ? "author" : "cmAuthor")) continue;
      if (n == a.attribute("name").value() && i == a.attribute("initials").value()) return a;
      maxId = std::max<long>(maxId, a.attribute("id").as_llong(-1));
    }
    pugi::xml_node a = root.append_child(NameLike(root, mModern ? "author" : "cmAuthor").c_str());
    if (mModern) {
      a.append_attribute("id") = NewGuid().c_str();
      a.append_attribute("name") = n.c_str();
      a.append_attribute("initials") = i.c_str();
      a.append_attribute("userId") = n.c_str();
      a.append_attribute("providerId") = "None";
    } else {
      a.append_attribute("id") = maxId + 1;
      a.append_attribute("name") = n.c_str();
      a.append_attribute("initials") = i.c_str();
      a.append_attribute("lastIdx") = 0;
      a.append_attribute("clrIdx") = (maxId + 1) % 8;
    }
    MarkDirty();
    return a;
  }

  void MarkDirty() {
    if (auto rel = RelationshipOfType(mDoc.Pkg(), mDoc.PresentationPart(),
                                      mModern ? kThreadedAuthorsRel : kCommentAuthorsRel))
      mDoc.MarkDirty(rel->targetPart);
  }

 private:
  Document& mDoc;
  bool mModern;
};

// A threaded comment's text body holding text, "\r" for paragraphs.
void FillBody(pugi::xml_node txBody, const std::wstring& text, Conformance c) {
  while (txBody.first_child()) txBody.remove_child(txBody.first_child());
  std::string a = NamespacePrefix(txBody, kDrawingMl, c);
  txBody.append_child(QualifiedName(a, "bodyPr").c_str());
  txBody.append_child(QualifiedName(a, "lstStyle").c_str());
  txBody.append_child(QualifiedName(a, "p").c_str());
  TextBody(txBody).Replace({0, 0}, text);
}

// Legacy p:cm of a reply: its parent's author id and index.
std::optional<std::pair<std::string, std::string>> ParentOf(pugi::xml_node cm) {
  for (pugi::xml_node ext : Child(cm, "extLst").children()) {
    pugi::xml_node parent = Child(Child(ext, "threadingInfo"), "parentCm");
    if (parent) return std::make_pair(std::string(parent.attribute("authorId").value()),
                                      std::string(parent.attribute("idx").value()));
  }
  return std::nullopt;
}

bool IsReplyTo(pugi::xml_node cm, pugi::xml_node parent) {
  auto p = ParentOf(cm);
  return p && p->first == parent.attribute("authorId").value() && p->second == parent.attribute("idx").value();
}

class CommentList;

class CommentImpl : public host::Comment, public std::enable_shared_from_this<CommentImpl> {
 public:
  CommentImpl(SlideRef slide, std::string part, pugi::xml_node node, bool modern, bool reply)
      : mSlide(std::move(slide)), mPart(std::move(part)), mNode(node), mModern(modern), mReply(reply) {}

  std::wstring Text() override {
    Check();
    if (mModern) return TextBody(Child(mNode, "txBody")).Text();
    return Wide(Child(mNode, "text").child_value());
  }
  float Left() override { return Position("x"); }
  float Top() override { return Position("y"); }
  std::wstring Author() override { return Wide(AuthorNode().attribute("name").value()); }
  std::wstring AuthorInitials() override { return Wide(AuthorNode().attribute("initials").value()); }
  std::wstring DateTime() override {
    Check();
    return Wide(mNode.attribute(mModern ? "created" : "dt").value());
  }
  Ptr<host::Comments> Replies() override;
  void Delete() override {
    Check();
    pugi::xml_node parent = mNode.parent();
    if (!mModern && !mReply) {
      std::vector<pugi::xml_node> replies;
      for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (c != mNode && LocalName(c) == "cm" && IsReplyTo(c, mNode)) replies.push_back(c);
      for (pugi::xml_node r : replies) parent.remove_child(r);
    }
    parent.remove_child(mNode);
    if (mModern && mReply && !parent.first_child()) parent.parent().remove_child(parent);
    mDeleted = true;
    mSlide.doc->MarkDirty(mPart);
  }

  SlideRef mSlide;
  std::string mPart;
  pugi::xml_node mNode;
  bool mModern;
  bool mReply;
  bool mDeleted = false;

  // Another handle may have deleted the comment, which frees its node, so
  // the node is looked for in the part (comparing handles reads nothing
  // through them) before it is used.
  void Check() {
    mSlide.doc->CheckOpen();
    if (!mDeleted && !Attached()) mDeleted = true;
    if (mDeleted) throw platform::ComError(E_FAIL, L"The comment has been deleted.");
  }

  bool Attached() const {
    Package& pkg = mSlide.doc->Pkg();
    if (!pkg.HasPart(mPart)) return false;
    for (pugi::xml_node cm = pkg.Xml(mPart).document_element().first_child(); cm; cm = cm.next_sibling()) {
      if (cm == mNode) return true;
      if (mModern && mReply)
        for (pugi::xml_node r = Child(cm, "replyLst").first_child(); r; r = r.next_sibling())
          if (r == mNode) return true;
    }
    return false;
  }

 private:
  float Position(const char* axis) {
    Check();
    pugi::xml_node node = mNode;
    if (mModern && mReply) node = node.parent().parent();  // a reply sits where its comment does
    if (!mModern && mReply) {
      for (pugi::xml_node c = node.parent().first_child(); c; c = c.next_sibling())
        if (LocalName(c) == "cm" && !ParentOf(c) && IsReplyTo(node, c)) {
          node = c;
          break;
        }
    }
    double v = Child(node, "pos").attribute(axis).as_double(0);
    return static_cast<float>(v / (mModern ? kEmuPerPt : kLegacyUnitsPerPoint));
  }
  pugi::xml_node AuthorNode() {
    Check();
    return Authors(*mSlide.doc, mModern).ById(mNode.attribute("authorId").value());
  }
};

class CommentList : public host::Comments {
 public:
  CommentList(SlideRef slide, std::shared_ptr<CommentImpl> parent) : mSlide(std::move(slide)), mParent(std::move(parent)) {}

  int Count() override { return static_cast<int>(Items().size()); }
  Ptr<host::Comment> Item(int index) override {
    auto items = Items();
    if (index < 1 || index > static_cast<int>(items.size()))
      throw platform::ComError(DISP_E_BADINDEX, L"The comment index is out of range.");
    return items[index - 1];
  }

  Ptr<host::Comment> Add(float left, float top, const std::wstring& author, const std::wstring& authorInitials,
                         const std::wstring& text) override {
    mSlide.doc->CheckOpen();
    if (mParent) return AddReply(author, authorInitials, text);
    if (mSlide.notes) throw platform::ComError(E_FAIL, L"A notes page holds no comments.");
    Document& doc = *mSlide.doc;
    bool modern = UsesThreadedComments();
    std::string part = CommentsPart(modern, true);
    pugi::xml_node root = doc.Pkg().Xml(part).document_element();
    std::string p(PrefixOf(root));
    Authors authors(doc, modern);
    pugi::xml_node a = authors.Find(author, authorInitials);
    pugi::xml_node cm = root.append_child(QualifiedName(p, "cm").c_str());
    if (modern) {
      cm.append_attribute("id") = NewGuid().c_str();
      cm.append_attribute("authorId") = a.attribute("id").value();
      cm.append_attribute("created") = Now().c_str();
      pugi::xml_node mk = cm.append_child("pc:sldMkLst");
      mk.append_attribute("xmlns:pc") = kPcNs;
      mk.append_child("pc:docMk");
      pugi::xml_node sld = mk.append_child("pc:sldMk");
      sld.append_attribute("cId") = CreationId(doc, mSlide.part).c_str();
      sld.append_attribute("sldId") = mSlide.slideId;
      pugi::xml_node pos = cm.append_child(QualifiedName(p, "pos").c_str());
      pos.append_attribute("x") = static_cast<long long>(std::llround(left * kEmuPerPt));
      pos.append_attribute("y") = static_cast<long long>(std::llround(top * kEmuPerPt));
      FillBody(cm.append_child(QualifiedName(p, "txBody").c_str()), text, ConformanceOf(doc));
    } else {
      long idx = a.attribute("lastIdx").as_llong(0) + 1;
      a.attribute("lastIdx").set_value(idx);
      authors.MarkDirty();
      cm.append_attribute("authorId") = a.attribute("id").value();
      cm.append_attribute("dt") = Now().c_str();
      cm.append_attribute("idx") = idx;
      pugi::xml_node pos = cm.append_child(QualifiedName(p, "pos").c_str());
      pos.append_attribute("x") = static_cast<long long>(std::llround(left * kLegacyUnitsPerPoint));
      pos.append_attribute("y") = static_cast<long long>(std::llround(top * kLegacyUnitsPerPoint));
      cm.append_child(QualifiedName(p, "text").c_str()).text().set(Utf8(PlainText(text)).c_str());
    }
    doc.MarkDirty(part);
    return std::make_shared<CommentImpl>(mSlide, part, cm, modern, false);
  }

 private:
  static std::wstring PlainText(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
      wchar_t c = text[i];
      if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
      if (c == L'\r' || c == L'\v') c = L'\n';
      if (c < 0x20 && c != L'\n' && c != L'\t') continue;
      out += c;
    }
    return out;
  }

  bool UsesThreadedComments() {
    Package& pkg = mSlide.doc->Pkg();
    if (RelationshipOfType(pkg, mSlide.part, kThreadedCommentsRel)) return true;
    if (RelationshipOfType(pkg, mSlide.part, kCommentsRel)) return false;
    return RelationshipOfType(pkg, mSlide.doc->PresentationPart(), kThreadedAuthorsRel).has_value();
  }

  std::string CommentsPart(bool modern, bool create) {
    Package& pkg = mSlide.doc->Pkg();
    if (auto rel = RelationshipOfType(pkg, mSlide.part, modern ? kThreadedCommentsRel : kCommentsRel))
      return rel->targetPart;
    if (!create) return {};
    std::string part;
    if (modern) {
      char stem[64];
      std::snprintf(stem, sizeof stem, "ppt/comments/modernComment_%X_", static_cast<unsigned>(mSlide.slideId));
      part = FreePartName(pkg, stem, ".xml");
    } else {
      part = FreePartName(pkg, "ppt/comments/comment", ".xml");
    }
    Conformance c = ConformanceOf(*mSlide.doc);
    pugi::xml_document& d = pkg.AddXmlPart(part, modern ? kThreadedCommentsType : kCommentsType);
    pugi::xml_node root = d.append_child(modern ? "p188:cmLst" : "p:cmLst");
    root.append_attribute("xmlns:a") = kDrawingMl.Uri(c);
    root.append_attribute("xmlns:r") = kRelationshipsNs.Uri(c);
    root.append_attribute(modern ? "xmlns:p188" : "xmlns:p") = modern ? kP188Ns : kPresentationMl.Uri(c);
    pkg.AddRelationship(mSlide.part, (modern ? kThreadedCommentsRel : kCommentsRel).Uri(c), part);
    mSlide.doc->MarkDirty(part);
    return part;
  }

  Ptr<host::Comment> AddReply(const std::wstring& author, const std::wstring& initials, const std::wstring& text) {
    mParent->Check();
    if (mParent->mReply) throw platform::ComError(E_FAIL, L"A reply cannot have replies.");
    Document& doc = *mSlide.doc;
    Authors authors(doc, mParent->mModern);
    pugi::xml_node a = authors.Find(author, initials);
    pugi::xml_node cm = mParent->mNode;
    std::string p(PrefixOf(cm));
    pugi::xml_node reply;
    if (mParent->mModern) {
      pugi::xml_node list = Child(cm, "replyLst");
      if (!list) {
        pugi::xml_node body = Child(cm, "txBody");
        std::string name = QualifiedName(p, "replyLst");
        list = body ? cm.insert_child_before(name.c_str(), body) : cm.append_child(name.c_str());
      }
      reply = list.append_child(QualifiedName(p, "reply").c_str());
      reply.append_attribute("id") = NewGuid().c_str();
      reply.append_attribute("authorId") = a.attribute("id").value();
      reply.append_attribute("created") = Now().c_str();
      FillBody(reply.append_child(QualifiedName(p, "txBody").c_str()), text, ConformanceOf(doc));
    } else {
      long idx = a.attribute("lastIdx").as_llong(0) + 1;
      a.attribute("lastIdx").set_value(idx);
      authors.MarkDirty();
      // After the comment and its earlier replies.
      pugi::xml_node after = cm;
      for (pugi::xml_node c = cm.next_sibling(); c; c = c.next_sibling())
        if (LocalName(c) == "cm" && IsReplyTo(c, cm)) after = c;
      reply = cm.parent().insert_child_after(QualifiedName(p, "cm").c_str(), after);
      reply.append_attribute("authorId") = a.attribute("id").value();
      reply.append_attribute("dt") = Now().c_str();
      reply.append_attribute("idx") = idx;
      pugi::xml_node pos = reply.append_child(QualifiedName(p, "pos").c_str());
      pugi::xml_node parentPos = Child(cm, "pos");
      pos.append_attribute("x") = parentPos.attribute("x").value();
      pos.append_attribute("y") = parentPos.attribute("y").value();
      reply.append_child(QualifiedName(p, "text").c_str()).text().set(Utf8(PlainText(text)).c_str());
      pugi::xml_node ext = reply.append_child(QualifiedName(p, "extLst").c_str()).append_child(QualifiedName(p, "ext").c_str());
      ext.append_attribute("uri") = kThreadingExt;
      pugi::xml_node info = ext.append_child("p15:threadingInfo");
      info.append_attribute("xmlns:p15") = kP15Ns;
      info.append_attribute("timeZoneBias") = 0;
      pugi::xml_node parentRef = info.append_child("p15:parentCm");
      parentRef.append_attribute("authorId") = cm.attribute("authorId").value();
      parentRef.append_attribute("idx") = cm.attribute("idx").value();
    }
    doc.MarkDirty(mParent->mPart);
    return std::make_shared<CommentImpl>(mSlide, mParent->mPart, reply, mParent->mModern, true);
  }

  std::vector<std::shared_ptr<CommentImpl>> Items() {
    mSlide.doc->CheckOpen();
    std::vector<std::shared_ptr<CommentImpl>> out;
    if (mParent) {
      mParent->Check();
      if (mParent->mReply) return out;
      pugi::xml_node cm = mParent->mNode;
      if (mParent->mModern) {
        for (pugi::xml_node r = Child(cm, "replyLst").first_child(); r; r = r.next_sibling())
          if (LocalName(r) == "reply") out.push_back(std::make_shared<CommentImpl>(mSlide, mParent->mPart, r, true, true));
      } else {
        for (pugi::xml_node c = cm.parent().first_child(); c; c = c.next_sibling())
          if (c != cm && LocalName(c) == "cm" && IsReplyTo(c, cm))
            out.push_back(std::make_shared<CommentImpl>(mSlide, mParent->mPart, c, false, true));
      }
      return out;
    }
    if (mSlide.notes) return out;
    for (bool modern : {false, true}) {
      std::string part = CommentsPart(modern, false);
      if (part.empty()) continue;
      pugi::xml_node root = mSlide.doc->Pkg().Xml(part).document_element();
      for (pugi::xml_node c = root.first_child(); c; c = c.next_sibling())
        if (LocalName(c) == "cm" && (modern || !ParentOf(c)))
          out.push_back(std::make_shared<CommentImpl>(mSlide, part, c, modern, false));
    }
    return out;
  }

  SlideRef mSlide;
  std::shared_ptr<CommentImpl> mParent;
};

Ptr<host::Comments> CommentImpl::Replies() {
  Check();
  return std::make_shared<CommentList>(mSlide, shared_from_this());
}

}  // namespace

Ptr<host::Comments> MakeSlideComments(const SlideRef& slide) {
  if (!slide.doc) throw platform::ComError(E_FAIL, L"No presentation.");
  return std::make_shared<CommentList>(slide, nullptr);
}

}  // namespace host::pptx
