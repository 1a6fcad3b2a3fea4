#pragma once
// The window's dialog templates and string table, kept as a small text resource
// (resources/vorloader.layout) and read at start-up. The format is described at the top of
// that file. The reader checks every line and names the first bad one; it never trusts a
// count or a length it has not checked.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace window {

enum class ControlKind { Button, ComboBox, Edit, Label, GroupBox, Frame, Bitmap, Icon };

// Control styles, one bit each.
enum ControlStyle : unsigned {
  kStyleDefault = 1u << 0,        // button: the dialog's default push button
  kStyleCenter = 1u << 1,         // label: text centred horizontally
  kStyleVCenter = 1u << 2,        // label: text centred vertically (one line)
  kStyleSunken = 1u << 3,         // label: sunken edge
  kStyleNoPrefix = 1u << 4,       // label: "&" is shown, not a mnemonic
  kStyleMultiLine = 1u << 5,      // edit
  kStyleAutoVScroll = 1u << 6,    // edit
  kStyleVScroll = 1u << 7,        // edit, combo: vertical scroll bar
  kStyleBorder = 1u << 8,         // edit
  kStyleReadOnly = 1u << 9,       // edit
  kStyleDropDownList = 1u << 10,  // combo: a list to pick from, no typing
  kStyleEtched = 1u << 11,        // frame
};

// A rectangle in dialog units.
struct DuRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

inline constexpr int kNoControlId = -1;

struct ControlTemplate {
  int id = kNoControlId;
  ControlKind kind = ControlKind::Label;
  DuRect rect;
  unsigned style = 0;
  std::string text;  // UTF-8; for bitmaps and icons the image resource number
};

enum class FrameStyle { Sizable, ModalFrame };

struct DialogTemplate {
  int id = 0;
  std::string caption;
  int width = 0;  // client area, dialog units
  int height = 0;
  int fontPoints = 0;
  std::string fontFace;
  FrameStyle frame = FrameStyle::ModalFrame;
  std::vector<ControlTemplate> controls;  // in tab order

  // The control with `id`, or nullptr.
  const ControlTemplate* Find(int controlId) const;
};

struct ResourceScript {
  std::map<int, DialogTemplate> dialogs;
  std::map<int, std::string> strings;
};

struct ResourceScriptResult {
  std::optional<ResourceScript> script;
  std::string error;  // "line N: reason" when script is empty
};

ResourceScriptResult ParseResourceScript(std::string_view text);

}  // namespace window
