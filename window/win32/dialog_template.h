#pragma once
// A dialog template in memory, made from the layout's template (the one the Linux window reads),
// for DialogBoxIndirectParamW: the same rectangles in dialog units, ids, texts, tab order and
// font, which Windows lays out itself.

#include <cstdint>
#include <string>
#include <vector>

#include "window/resource_script.h"

namespace window::win32 {

// A control the layout does not hold but the Windows window adds (the progress bar).
struct ExtraControl {
  int id = 0;
  std::wstring windowClass;
  DuRect rect;
  std::uint32_t style = 0;
};

// The template's bytes, aligned as DLGTEMPLATE wants them (keep the vector alive while the
// dialog is created). `statusIds`: labels that lose the middle of a text too long for them.
std::vector<std::uint32_t> BuildTemplate(const DialogTemplate& t, const std::vector<ExtraControl>& extras,
                                         const std::vector<int>& statusIds);

}  // namespace window::win32
