// How many terminal columns a text takes. The terminal toolkit has a width
// function of its own, but it counts by the C locale (a Japanese character
// as three columns under LANG=C), so the tables and dialogs here count
// with this one.
#pragma once

#include <cstddef>
#include <string_view>

namespace app {

// East Asian wide characters take two columns, every other one. With
// accelerators, an "&" marks the next letter as a menu accelerator and
// takes none.
std::size_t TextColumns(std::wstring_view text, bool accelerators = false);

}  // namespace app
