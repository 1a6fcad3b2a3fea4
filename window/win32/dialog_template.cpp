#include "window/win32/dialog_template.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "window/win32/wide_text.h"

namespace window::win32 {

namespace {

// The predefined window classes of dialog items, as their atoms.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kComboBoxAtom = 0x0085;
constexpr WORD kNoId = 0xFFFF;

class Writer {
 public:
  void Word(WORD w) { m_bytes.push_back(static_cast<char16_t>(w)); }
  void Dword(DWORD d) {
    Word(static_cast<WORD>(d & 0xFFFF));
    Word(static_cast<WORD>(d >> 16));
  }
  void Short(int v) { Word(static_cast<WORD>(static_cast<short>(v))); }
  void Text(const std::wstring& text) {
    for (wchar_t c : text) Word(static_cast<WORD>(c));
    Word(0);
  }
  void Ordinal(WORD id) {
    Word(0xFFFF);
    Word(id);
  }
  // Items start on a DWORD boundary.
  void Align() {
    if (m_bytes.size() % 2 != 0) Word(0);
  }
  std::vector<std::uint32_t> Done() const {
    std::vector<std::uint32_t> out((m_bytes.size() + 1) / 2, 0);
    std::memcpy(out.data(), m_bytes.data(), m_bytes.size() * sizeof(char16_t));
    return out;
  }

 private:
  std::vector<char16_t> m_bytes;
};

DWORD StyleOf(const ControlTemplate& c, bool status) {
  DWORD style = WS_CHILD | WS_VISIBLE;
  const unsigned s = c.style;
  switch (c.kind) {
    case ControlKind::Button:
      return style | WS_TABSTOP | ((s & kStyleDefault) != 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    case ControlKind::ComboBox:
      style |= WS_TABSTOP | ((s & kStyleDropDownList) != 0 ? CBS_DROPDOWNLIST : CBS_DROPDOWN);
      return style | ((s & kStyleVScroll) != 0 ? WS_VSCROLL : 0);
    case ControlKind::Edit:
      style |= WS_TABSTOP;
      if ((s & kStyleMultiLine) != 0) style |= ES_MULTILINE;
      if ((s & kStyleAutoVScroll) != 0) style |= ES_AUTOVSCROLL;
      if ((s & kStyleVScroll) != 0) style |= WS_VSCROLL;
      if ((s & kStyleBorder) != 0) style |= WS_BORDER;
      if ((s & kStyleReadOnly) != 0) style |= ES_READONLY;
      return style;
    case ControlKind::Label:
      style |= (s & kStyleCenter) != 0 ? SS_CENTER : SS_LEFT;
      if ((s & kStyleVCenter) != 0) style |= SS_CENTERIMAGE;
      if ((s & kStyleSunken) != 0) style |= SS_SUNKEN;
      if ((s & kStyleNoPrefix) != 0) style |= SS_NOPREFIX;
      // A status text too long for its line loses its middle, not its end.
      if (status) style |= SS_PATHELLIPSIS | SS_NOPREFIX;
      return style;
    case ControlKind::GroupBox:
      return style | BS_GROUPBOX;
    case ControlKind::Frame:
      return style | ((s & kStyleEtched) != 0 ? SS_ETCHEDFRAME : SS_BLACKFRAME);
    case ControlKind::Bitmap:
      return style | SS_BITMAP;
    case ControlKind::Icon:
      return style | SS_ICON;
  }
  return style;
}

WORD ClassOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::Button:
    case ControlKind::GroupBox:
      return kButtonAtom;
    case ControlKind::ComboBox:
      return kComboBoxAtom;
    case ControlKind::Edit:
      return kEditAtom;
    default:
      return kStaticAtom;
  }
}

void ItemHeader(Writer& w, DWORD style, const DuRect& r, int id) {
  w.Align();
  w.Dword(style);
  w.Dword(0);  // extended style
  w.Short(r.x);
  w.Short(r.y);
  w.Short(r.width);
  w.Short(r.height);
  w.Word(id == kNoControlId ? kNoId : static_cast<WORD>(id));
}

}  // namespace

std::vector<std::uint32_t> BuildTemplate(const DialogTemplate& t, const std::vector<ExtraControl>& extras,
                                         const std::vector<int>& statusIds) {
  Writer w;
  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT | DS_CENTER;
  style |= t.frame == FrameStyle::Sizable ? (WS_THICKFRAME | WS_MINIMIZEBOX) : DS_MODALFRAME;
  w.Dword(style);
  w.Dword(0);
  w.Word(static_cast<WORD>(t.controls.size() + extras.size()));
  w.Short(0);
  w.Short(0);
  w.Short(t.width);
  w.Short(t.height);
  w.Word(0);  // no menu
  w.Word(0);  // the dialog class
  w.Text(FromUtf8(t.caption));
  w.Word(static_cast<WORD>(t.fontPoints));
  w.Text(FromUtf8(t.fontFace));
  for (const ControlTemplate& c : t.controls) {
    const bool status = std::find(statusIds.begin(), statusIds.end(), c.id) != statusIds.end();
    ItemHeader(w, StyleOf(c, status), c.rect, c.id);
    w.Ordinal(ClassOf(c.kind));
    if (c.kind == ControlKind::Bitmap || c.kind == ControlKind::Icon) {
      // The layout's reader made sure it is a number of 1..65535.
      w.Ordinal(static_cast<WORD>(std::stoi(c.text)));
    } else {
      w.Text(FromUtf8(c.text));
    }
    w.Word(0);  // no creation data
  }
  for (const ExtraControl& e : extras) {
    ItemHeader(w, WS_CHILD | e.style, e.rect, e.id);
    w.Text(e.windowClass);
    w.Text(L"");
    w.Word(0);
  }
  return w.Done();
}

}  // namespace window::win32
