#include "window/resource_script.h"

#include <array>
#include <cstddef>

namespace window {

namespace {

constexpr std::size_t kMaxScriptBytes = 1u << 20;
constexpr std::size_t kMaxLineBytes = 1024;
constexpr std::size_t kMaxTextBytes = 512;
constexpr std::size_t kMaxControls = 256;
constexpr int kMaxId = 65535;
constexpr int kMaxUnits = 4096;
constexpr int kMaxPoints = 72;

struct Token {
  std::string text;
  bool quoted = false;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsControlChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7f;
}

// Splits a line into bare words and double-quoted texts (no escapes; a text cannot hold a
// quote). A '#' outside a text starts a comment.
bool Tokenize(std::string_view line, std::vector<Token>& out, std::string& error) {
  std::size_t i = 0;
  while (i < line.size()) {
    if (IsBlank(line[i])) {
      ++i;
      continue;
    }
    if (line[i] == '#') break;
    Token token;
    if (line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) {
        error = "unterminated text";
        return false;
      }
      token.text = std::string(line.substr(i + 1, close - i - 1));
      token.quoted = true;
      for (char c : token.text) {
        if (IsControlChar(c)) {
          error = "control character in text";
          return false;
        }
      }
      if (token.text.size() > kMaxTextBytes) {
        error = "text longer than 512 bytes";
        return false;
      }
      i = close + 1;
      if (i < line.size() && !IsBlank(line[i])) {
        error = "text not followed by a blank";
        return false;
      }
    } else {
      const std::size_t start = i;
      while (i < line.size() && !IsBlank(line[i])) {
        if (line[i] == '"' || IsControlChar(line[i])) {
          error = "stray character in a word";
          return false;
        }
        ++i;
      }
      token.text = std::string(line.substr(start, i - start));
    }
    out.push_back(std::move(token));
  }
  return true;
}

// A bare decimal number in [lo, hi].
bool ReadNumber(const Token& token, int lo, int hi, int& value) {
  if (token.quoted || token.text.empty() || token.text.size() > 6) return false;
  int v = 0;
  for (char c : token.text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v < lo || v > hi) return false;
  value = v;
  return true;
}

struct KindName {
  std::string_view name;
  ControlKind kind;
};
constexpr std::array<KindName, 8> kKinds{{
    {"button", ControlKind::Button},
    {"combo", ControlKind::ComboBox},
    {"edit", ControlKind::Edit},
    {"label", ControlKind::Label},
    {"group", ControlKind::GroupBox},
    {"frame", ControlKind::Frame},
    {"bitmap", ControlKind::Bitmap},
    {"icon", ControlKind::Icon},
}};

unsigned KindBit(ControlKind k) {
  return 1u << static_cast<unsigned>(k);
}

struct StyleName {
  std::string_view name;
  unsigned bit;
  unsigned kinds;  // the kinds it applies to, one bit per ControlKind
};
const std::array<StyleName, 12>& Styles() {
  static const std::array<StyleName, 12> styles{{
      {"default", kStyleDefault, KindBit(ControlKind::Button)},
      {"center", kStyleCenter, KindBit(ControlKind::Label)},
      {"vcenter", kStyleVCenter, KindBit(ControlKind::Label)},
      {"sunken", kStyleSunken, KindBit(ControlKind::Label)},
      {"noprefix", kStyleNoPrefix, KindBit(ControlKind::Label)},
      {"multiline", kStyleMultiLine, KindBit(ControlKind::Edit)},
      {"autovscroll", kStyleAutoVScroll, KindBit(ControlKind::Edit)},
      {"vscroll", kStyleVScroll, KindBit(ControlKind::Edit) | KindBit(ControlKind::ComboBox)},
      {"border", kStyleBorder, KindBit(ControlKind::Edit)},
      {"readonly", kStyleReadOnly, KindBit(ControlKind::Edit)},
      {"dropdownlist", kStyleDropDownList, KindBit(ControlKind::ComboBox)},
      {"etched", kStyleEtched, KindBit(ControlKind::Frame)},
  }};
  return styles;
}

bool ReadStyle(const Token& token, ControlKind kind, unsigned& style, std::string& error) {
  style = 0;
  if (token.quoted) {
    error = "style must be a word";
    return false;
  }
  if (token.text == "-") return true;
  std::string_view rest = token.text;
  while (true) {
    const std::size_t comma = rest.find(',');
    const std::string_view name = rest.substr(0, comma);
    const StyleName* found = nullptr;
    for (const auto& s : Styles())
      if (s.name == name) found = &s;
    if (found == nullptr) {
      error = "unknown style '" + std::string(name) + "'";
      return false;
    }
    if ((found->kinds & KindBit(kind)) == 0) {
      error = "style '" + std::string(name) + "' does not apply to this kind of control";
      return false;
    }
    style |= found->bit;
    if (comma == std::string_view::npos) return true;
    rest = rest.substr(comma + 1);
  }
}

bool IsImageKind(ControlKind k) {
  return k == ControlKind::Bitmap || k == ControlKind::Icon;
}

class Reader {
 public:
  ResourceScriptResult Run(std::string_view text) {
    if (text.size() > kMaxScriptBytes) return Fail(0, "script larger than 1 MiB");
    std::size_t pos = 0;
    while (pos < text.size()) {
      const std::size_t lineNo = ++m_lineNo;
      std::size_t end = text.find('\n', pos);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(pos, end - pos);
      pos = end + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.size() > kMaxLineBytes) return Fail(lineNo, "line longer than 1024 bytes");
      std::vector<Token> tokens;
      std::string error;
      if (!Tokenize(line, tokens, error) || !Line(tokens, error)) return Fail(lineNo, error);
    }
    if (m_open) return Fail(m_openLine, "dialog without 'end'");
    ResourceScriptResult result;
    result.script = std::move(m_script);
    return result;
  }

 private:
  static ResourceScriptResult Fail(std::size_t lineNo, const std::string& reason) {
    ResourceScriptResult r;
    r.error = "line " + std::to_string(lineNo) + ": " + reason;
    return r;
  }

  bool Line(const std::vector<Token>& t, std::string& error) {
    if (t.empty()) return true;
    const std::string& keyword = t[0].text;
    if (t[0].quoted) {
      error = "a line starts with a keyword";
      return false;
    }
    if (keyword == "string") return StringLine(t, error);
    if (keyword == "dialog") return DialogLine(t, error);
    if (keyword == "control") return ControlLine(t, error);
    if (keyword == "end") return EndLine(t, error);
    error = "unknown keyword '" + keyword + "'";
    return false;
  }

  bool StringLine(const std::vector<Token>& t, std::string& error) {
    int id = 0;
    if (m_open) return Err(error, "a string inside a dialog");
    if (t.size() != 3) return Err(error, "expected: string ID \"TEXT\"");
    if (!ReadNumber(t[1], 1, kMaxId, id)) return Err(error, "bad string id");
    if (!t[2].quoted) return Err(error, "the string text must be quoted");
    if (!m_script.strings.emplace(id, t[2].text).second) return Err(error, "string id used twice");
    return true;
  }

  bool DialogLine(const std::vector<Token>& t, std::string& error) {
    if (m_open) return Err(error, "a dialog inside a dialog");
    if (t.size() != 9 || t[5].text != "font" || t[5].quoted)
      return Err(error, R"(expected: dialog ID "CAPTION" WIDTH HEIGHT font POINTS "FACE" FRAME)");
    DialogTemplate d;
    if (!ReadNumber(t[1], 1, kMaxId, d.id)) return Err(error, "bad dialog id");
    if (!t[2].quoted) return Err(error, "the caption must be quoted");
    d.caption = t[2].text;
    if (!ReadNumber(t[3], 1, kMaxUnits, d.width) || !ReadNumber(t[4], 1, kMaxUnits, d.height))
      return Err(error, "bad dialog size");
    if (!ReadNumber(t[6], 1, kMaxPoints, d.fontPoints)) return Err(error, "bad font size");
    if (!t[7].quoted || t[7].text.empty()) return Err(error, "the font face must be a quoted name");
    d.fontFace = t[7].text;
    if (t[8].quoted) return Err(error, "bad frame style");
    if (t[8].text == "sizable") {
      d.frame = FrameStyle::Sizable;
    } else if (t[8].text == "modalframe") {
      d.frame = FrameStyle::ModalFrame;
    } else {
      return Err(error, "unknown frame style '" + t[8].text + "'");
    }
    if (m_script.dialogs.contains(d.id)) return Err(error, "dialog id used twice");
    m_dialog = std::move(d);
    m_open = true;
    m_openLine = m_lineNo;
    return true;
  }

  bool ControlLine(const std::vector<Token>& t, std::string& error) {
    if (!m_open) return Err(error, "a control outside a dialog");
    if (t.size() != 9) return Err(error, "expected: control ID KIND X Y WIDTH HEIGHT STYLE \"TEXT\"");
    if (m_dialog.controls.size() >= kMaxControls) return Err(error, "more than 256 controls");
    ControlTemplate c;
    if (!(t[1].text == "-" && !t[1].quoted) && !ReadNumber(t[1], 1, kMaxId, c.id))
      return Err(error, "bad control id");
    if (c.id != kNoControlId && m_dialog.Find(c.id) != nullptr) return Err(error, "control id used twice");
    const KindName* kind = nullptr;
    for (const auto& k : kKinds)
      if (!t[2].quoted && k.name == t[2].text) kind = &k;
    if (kind == nullptr) return Err(error, "unknown control kind '" + t[2].text + "'");
    c.kind = kind->kind;
    DuRect& r = c.rect;
    if (!ReadNumber(t[3], 0, kMaxUnits, r.x) || !ReadNumber(t[4], 0, kMaxUnits, r.y) ||
        !ReadNumber(t[5], 1, kMaxUnits, r.width) || !ReadNumber(t[6], 1, kMaxUnits, r.height))
      return Err(error, "bad control rectangle");
    if (r.x + r.width > m_dialog.width || r.y + r.height > m_dialog.height)
      return Err(error, "control reaches outside its dialog");
    if (!ReadStyle(t[7], c.kind, c.style, error)) return false;
    if (!t[8].quoted) return Err(error, "the control text must be quoted");
    c.text = t[8].text;
    int image = 0;
    if (IsImageKind(c.kind) && !ReadNumber(Token{c.text, false}, 1, kMaxId, image))
      return Err(error, "an image control names its image resource by number");
    m_dialog.controls.push_back(std::move(c));
    return true;
  }

  bool EndLine(const std::vector<Token>& t, std::string& error) {
    if (!m_open) return Err(error, "'end' without a dialog");
    if (t.size() != 1) return Err(error, "'end' stands alone");
    const int id = m_dialog.id;
    m_script.dialogs.emplace(id, std::move(m_dialog));
    m_dialog = DialogTemplate{};
    m_open = false;
    return true;
  }

  static bool Err(std::string& error, std::string reason) {
    error = std::move(reason);
    return false;
  }

  ResourceScript m_script;
  DialogTemplate m_dialog;
  bool m_open = false;
  std::size_t m_openLine = 0;
  std::size_t m_lineNo = 0;
};

}  // namespace

const ControlTemplate* DialogTemplate::Find(int controlId) const {
  for (const auto& c : controls)
    if (c.id == controlId) return &c;
  return nullptr;
}

ResourceScriptResult ParseResourceScript(std::string_view text) {
  return Reader{}.Run(text);
}

}  // namespace window
