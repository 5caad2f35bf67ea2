#include <algorithm>

#include "src/host/pptx/PptxShapes.h"

namespace host::pptx::shapes {

namespace {

const Document::TableIndex& Grid(Document& doc, const std::string& part, pugi::xml_node tbl) {
  Document::TableIndex& index = doc.TableIndexOf(tbl);
  const int deletions = doc.Deletions(part);
  if (index.deletions != deletions || index.part != part) {
    index = {part, deletions, Children(tbl, "tr"), Children(Child(tbl, "tblGrid"), "gridCol"), {}};
    for (pugi::xml_node tr : index.rows) index.cells.push_back(Children(tr, "tc"));
  }
  return index;
}

// The a:tc at a 0-based position; empty when the table has no such cell.
pugi::xml_node GridCell(const Document::TableIndex& grid, int row, int col) {
  if (row < 0 || row >= static_cast<int>(grid.cells.size())) return {};
  const auto& cells = grid.cells[static_cast<size_t>(row)];
  if (col < 0 || col >= static_cast<int>(cells.size())) return {};
  return cells[static_cast<size_t>(col)];
}

class RowImpl : public host::Row {
 public:
  RowImpl(std::shared_ptr<Document> d, pugi::xml_node tr) : mDoc(std::move(d)), mTr(tr) {}
  float Height() override { mDoc->CheckOpen(); return static_cast<float>(Emu(mTr, "h") / kEmuPerPoint); }

 private:
  std::shared_ptr<Document> mDoc;
  pugi::xml_node mTr;
};

class ColumnImpl : public host::Column {
 public:
  ColumnImpl(std::shared_ptr<Document> d, pugi::xml_node gc) : mDoc(std::move(d)), mCol(gc) {}
  float Width() override { mDoc->CheckOpen(); return static_cast<float>(Emu(mCol, "w") / kEmuPerPoint); }

 private:
  std::shared_ptr<Document> mDoc;
  pugi::xml_node mCol;
};

class RowsImpl : public host::Rows {
 public:
  RowsImpl(std::shared_ptr<ShapeBase> frame, pugi::xml_node tbl) : mFrame(std::move(frame)), mTbl(tbl) {}
  int Count() override { mFrame->doc->CheckOpen(); return static_cast<int>(Rows().size()); }
  Ptr<host::Row> Item(int i) override {
    const auto& rows = Rows();
    if (i < 1 || i > static_cast<int>(rows.size()))
      throw platform::ComError(DISP_E_BADINDEX, L"The index is out of range.");
    return std::make_shared<RowImpl>(mFrame->doc, rows[static_cast<size_t>(i - 1)]);
  }

 private:
  const std::vector<pugi::xml_node>& Rows() { return Grid(*mFrame->doc, mFrame->part, mTbl).rows; }
  std::shared_ptr<ShapeBase> mFrame;
  pugi::xml_node mTbl;
};

class ColumnsImpl : public host::Columns {
 public:
  ColumnsImpl(std::shared_ptr<ShapeBase> frame, pugi::xml_node tbl) : mFrame(std::move(frame)), mTbl(tbl) {}
  int Count() override {
    mFrame->doc->CheckOpen();
    return static_cast<int>(Columns().size());
  }
  Ptr<host::Column> Item(int i) override {
    const auto& cols = Columns();
    if (i < 1 || i > static_cast<int>(cols.size()))
      throw platform::ComError(DISP_E_BADINDEX, L"The index is out of range.");
    return std::make_shared<ColumnImpl>(mFrame->doc, cols[static_cast<size_t>(i - 1)]);
  }

 private:
  const std::vector<pugi::xml_node>& Columns() { return Grid(*mFrame->doc, mFrame->part, mTbl).columns; }
  std::shared_ptr<ShapeBase> mFrame;
  pugi::xml_node mTbl;
};

class CellImpl : public host::Cell {
 public:
  CellImpl(std::shared_ptr<ShapeBase> frame, pugi::xml_node tbl, int r, int c)
      : mFrame(std::move(frame)), mTbl(tbl), mRow(r), mCol(c) {}

  pugi::xml_node Tc(int r, int c) { return GridCell(Grid(*mFrame->doc, mFrame->part, mTbl), r, c); }

  // The top-left cell of the merged area this cell belongs to.
  void Origin(int& r, int& c) {
    r = mRow;
    c = mCol;
    // Only cells that exist are stepped onto: a damaged table may have rows
    // shorter than its grid.
    while (c > 0 && Attr(Tc(r, c), "hMerge").as_bool() && Tc(r, c - 1)) --c;
    while (r > 0 && Attr(Tc(r, c), "vMerge").as_bool() && Tc(r - 1, c)) --r;
    while (c > 0 && Attr(Tc(r, c), "hMerge").as_bool() && Tc(r, c - 1)) --c;
  }

  Ptr<host::Shape> Shape() override {
    mFrame->Check();
    int r, c;
    Origin(r, c);
    auto s = std::make_shared<CellShape>();
    s->doc = mFrame->doc;
    s->slide = mFrame->slide;
    s->part = mFrame->part;
    s->node = Tc(r, c);
    s->parent = mFrame;
    s->generation = mFrame->generation;
    s->tbl = mTbl;
    s->row = r;
    s->col = c;
    return s;
  }
  // A caret or text selection in the cell selects it, as the host reports.
  bool Selected() override {
    auto app = mFrame->doc->App.lock();
    return app && app->TextSelectedIn(*mFrame->doc, Shape()->Identity());
  }
  void Merge(const Ptr<host::Cell>& other) override {
    mFrame->Check();
    auto o = std::dynamic_pointer_cast<CellImpl>(other);
    if (!o || o->mTbl != mTbl) throw platform::ComError(E_INVALIDARG, L"Cells of different tables cannot be merged.");
    int r0 = std::min(mRow, o->mRow), r1 = std::max(mRow, o->mRow);
    int c0 = std::min(mCol, o->mCol), c1 = std::max(mCol, o->mCol);
    for (int r = r0; r <= r1; ++r)
      for (int c = c0; c <= c1; ++c) {
        pugi::xml_node tc = Tc(r, c);
        for (const char* a : {"gridSpan", "rowSpan", "hMerge", "vMerge"}) tc.remove_attribute(a);
        if (r == r0 && c == c0) {
          if (c1 > c0) tc.append_attribute("gridSpan") = c1 - c0 + 1;
          if (r1 > r0) tc.append_attribute("rowSpan") = r1 - r0 + 1;
        } else {
          if (c > c0) tc.append_attribute("hMerge") = "1";
          if (r > r0) tc.append_attribute("vMerge") = "1";
        }
      }
    mFrame->Dirty();
  }

 private:
  std::shared_ptr<ShapeBase> mFrame;
  pugi::xml_node mTbl;
  int mRow, mCol;
};

class TableImpl : public host::Table {
 public:
  TableImpl(std::shared_ptr<ShapeBase> frame, pugi::xml_node tbl) : mFrame(std::move(frame)), mTbl(tbl) {}
  Ptr<host::Rows> Rows() override { mFrame->Check(); return std::make_shared<RowsImpl>(mFrame, mTbl); }
  Ptr<host::Columns> Columns() override { mFrame->Check(); return std::make_shared<ColumnsImpl>(mFrame, mTbl); }
  Ptr<host::Cell> Cell(int row, int column) override {
    mFrame->Check();
    const auto& grid = Grid(*mFrame->doc, mFrame->part, mTbl);
    if (row < 1 || row > static_cast<int>(grid.rows.size()))
      throw platform::ComError(DISP_E_BADINDEX, L"The row is out of range.");
    const auto& cells = grid.cells[static_cast<size_t>(row - 1)];
    if (column < 1 || column > static_cast<int>(cells.size()))
      throw platform::ComError(DISP_E_BADINDEX, L"The column is out of range.");
    return std::make_shared<CellImpl>(mFrame, mTbl, row - 1, column - 1);
  }

 private:
  std::shared_ptr<ShapeBase> mFrame;
  pugi::xml_node mTbl;
};

}  // namespace

bool TableFrameShape::HasTable() { Check(); return true; }

Ptr<host::Table> TableFrameShape::Table() {
  Check();
  return std::make_shared<TableImpl>(shared_from_this(), Child(GraphicData(node), "tbl"));
}

Rect CellShape::SlideRect() {
  Rect f = parent->SlideRect();
  const auto& grid = Grid(*doc, part, tbl);
  const std::vector<pugi::xml_node>& cols = grid.columns;
  const std::vector<pugi::xml_node>& rows = grid.rows;
  pugi::xml_node tc = GridCell(grid, row, col);
  // A span reaching past the grid ends at its edge (and cannot overflow).
  int cspan = std::clamp(Attr(tc, "gridSpan").as_int(1), 1, std::max(1, static_cast<int>(cols.size())));
  int rspan = std::clamp(Attr(tc, "rowSpan").as_int(1), 1, std::max(1, static_cast<int>(rows.size())));
  Rect r;
  r.x = f.x;
  r.y = f.y;
  for (int c = 0; c < col && c < static_cast<int>(cols.size()); ++c) r.x += Emu(cols[c], "w");
  for (int c = col; c < col + cspan && c < static_cast<int>(cols.size()); ++c) r.cx += Emu(cols[c], "w");
  for (int i = 0; i < row; ++i) r.y += Emu(rows[i], "h");
  for (int i = row; i < row + rspan && i < static_cast<int>(rows.size()); ++i) r.cy += Emu(rows[i], "h");
  r.present = true;
  return r;
}

void CellShape::SetSlideRect(const Rect&) {
  Check();
  throw platform::ComError(E_FAIL, L"A table cell is sized through its row and column.");
}

pugi::xml_node CellShape::TextHost() {
  pugi::xml_node tc = GridCell(Grid(*doc, part, tbl), row, col);
  if (!tc) throw platform::ComError(E_FAIL, L"The table cell no longer exists.");
  return tc;
}

ShapeIdentity CellShape::Identity() {
  Check();
  // Cells have no id the host would report; they are told apart inside
  // their table by position.
  ShapeIdentity id;
  id.slideId = slide.slideId;
  id.notesPage = slide.notes;
  id.shapeId = Attr(CNvPr(parent->node), "id").as_int();
  id.row = row + 1;
  id.column = col + 1;
  return id;
}

std::vector<pugi::xml_node> CellShape::TableTextStyles() {
  std::string id;
  std::vector<const char*> parts = StyleParts(id);
  const std::string& styles = doc->Linked(doc->PresentationPart(), Document::Link::TableStyles);
  if (id.empty() || styles.empty()) return {};
  pugi::xml_node style;
  for (pugi::xml_node s : Children(doc->Pkg().Xml(styles).document_element(), "tblStyle"))
    if (Attr(s, "styleId").value() == id) style = s;
  std::vector<pugi::xml_node> out;
  for (auto it = parts.rbegin(); style && it != parts.rend(); ++it)
    if (pugi::xml_node tx = Child(Child(style, *it), "tcTxStyle")) out.push_back(tx);
  return out;
}

std::string CellShape::StyleKey() {
  std::string id, parts;
  for (const char* p : StyleParts(id)) parts += std::string(" ") + p;
  return "cell " + id + parts;
}

std::vector<const char*> CellShape::StyleParts(std::string& styleId) {
  pugi::xml_node tblPr = Child(tbl, "tblPr");
  styleId = Child(tblPr, "tableStyleId").child_value();
  const auto& grid = Grid(*doc, part, tbl);
  const int rows = static_cast<int>(grid.rows.size()), cols = static_cast<int>(grid.columns.size());
  auto flag = [&](const char* name) { return Attr(tblPr, name).as_bool(); };
  const bool headerRow = flag("firstRow"), headerCol = flag("firstCol");
  const bool firstRow = headerRow && row == 0, lastRow = flag("lastRow") && row == rows - 1;
  const bool firstCol = headerCol && col == 0, lastCol = flag("lastCol") && col == cols - 1;
  // The style's parts in the order they apply, each over the ones before;
  // bands count from the first row or column that is not a header.
  std::vector<const char*> parts{"wholeTbl"};
  if (flag("bandRow")) parts.push_back((row - (headerRow ? 1 : 0)) % 2 == 0 ? "band1H" : "band2H");
  if (flag("bandCol")) parts.push_back((col - (headerCol ? 1 : 0)) % 2 == 0 ? "band1V" : "band2V");
  if (lastCol) parts.push_back("lastCol");
  if (firstCol) parts.push_back("firstCol");
  if (lastRow) parts.push_back("lastRow");
  if (firstRow) parts.push_back("firstRow");
  if (lastRow && lastCol) parts.push_back("seCell");
  if (lastRow && firstCol) parts.push_back("swCell");
  if (firstRow && lastCol) parts.push_back("neCell");
  if (firstRow && firstCol) parts.push_back("nwCell");
  return parts;
}

int CellShape::Id() { Check(); return 0; }
std::wstring CellShape::Name() { Check(); return {}; }
int CellShape::AutoShapeType() { Check(); return 1; }
Ptr<host::Shape> CellShape::ParentGroup() { Check(); return nullptr; }

}  // namespace host::pptx::shapes
