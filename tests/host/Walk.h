// Walks every shape the host's object model shows, for tests that look at
// all of a deck.
#pragma once

#include <functional>

#include "src/host/Host.h"

namespace walktest {

// Called with each shape and how deep it sits inside the shape it came from.
using Visit = std::function<void(const host::Ptr<host::Shape>&, int depth)>;

// A shape, then one level deeper its table's cells (a merged area once) and
// its group's or graphic's items.
inline void ForEachShape(const host::Ptr<host::Shape>& s, const Visit& f, int depth = 0) {
  f(s, depth);
  if (s->HasTable()) {
    auto t = s->Table();
    for (int r = 1; r <= t->Rows()->Count(); ++r)
      for (int c = 1; c <= t->Columns()->Count(); ++c) {
        auto id = t->Cell(r, c)->Shape()->Identity();
        if ((r > 1 && t->Cell(r - 1, c)->Shape()->Identity() == id) || (c > 1 && t->Cell(r, c - 1)->Shape()->Identity() == id))
          continue;
        f(t->Cell(r, c)->Shape(), depth + 1);
      }
  }
  if (s->Type() == host::msoGroup || s->HasSmartArt()) {
    auto items = s->GroupItems();
    for (int i = 1; i <= items->Count(); ++i) ForEachShape(items->Item(i), f, depth + 1);
  }
}

inline void ForEachShape(const host::Ptr<host::Shapes>& shapes, const Visit& f) {
  for (int k = 1; k <= shapes->Count(); ++k) ForEachShape(shapes->Item(k), f);
}

}  // namespace walktest
