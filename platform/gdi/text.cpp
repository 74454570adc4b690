// Fonts through fontconfig and FreeType, and text drawing and measuring.
// Glyphs are placed one after another by their advances, so what the
// measuring calls report is exactly where drawing puts each character.
#include "gdi/dc.h"

#include <orlik/kernel.h>
#include <orlik/text.h>

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace orlik::gdi {

namespace {

// Korean faces of the panel that a desktop lacks map to Nanum's: GulimChe
// (fixed, half/full widths) to NanumGothicCoding, Gulim to NanumGothic.
constexpr char kAliases[] = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <alias binding="same"><family>굴림체</family><prefer><family>NanumGothicCoding</family></prefer></alias>
  <alias binding="same"><family>GulimChe</family><prefer><family>NanumGothicCoding</family></prefer></alias>
  <alias binding="same"><family>굴림</family><prefer><family>NanumGothic</family></prefer></alias>
  <alias binding="same"><family>Gulim</family><prefer><family>NanumGothic</family></prefer></alias>
  <alias binding="same"><family>Tahoma</family><prefer><family>DejaVu Sans</family></prefer></alias>
</fontconfig>)";

void LoadAliases() {
  static const bool loaded = [] {
    FcInit();
    FcConfig* config = FcConfigGetCurrent();
    FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(kAliases), FcFalse);
    return true;
  }();
  (void)loaded;
}

// Decodes UTF-16 into code points, keeping the UTF-16 index of each.
struct CodePoint {
  char32_t c;
  int index;  // position in the UTF-16 text
};

std::vector<CodePoint> Decode(const WCHAR* text, int count) {
  std::vector<CodePoint> out;
  for (int i = 0; i < count;) {
    char32_t c = text[i];
    int at = i++;
    if (c >= 0xD800 && c <= 0xDBFF && i < count && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[i++]) - 0xDC00);
    out.push_back({c, at});
  }
  return out;
}

int Count(const WCHAR* text, int count) {
  if (!text) return 0;
  return count < 0 ? int(orlik_wcslen(text)) : count;
}

double Advance(Font& font, char32_t c) {
  if (c == u'\r' || c == u'\n') return 0;
  if (c == u'\t') return font.GlyphFor(u' ').advance * 8;
  return font.GlyphFor(c).advance;
}

double Width(Font& font, const WCHAR* text, int count) {
  double w = 0;
  for (auto& cp : Decode(text, count)) w += Advance(font, cp.c);
  return w;
}

// Draws one line with its top-left corner at (x, y) in the DC.
void DrawLine(DeviceContext& dc, Font& font, cairo_t* cr, const WCHAR* text, int count, double x,
              double y) {
  auto cps = Decode(text, count);
  double width = 0;
  std::vector<cairo_glyph_t> glyphs;
  glyphs.reserve(cps.size());
  for (auto& cp : cps) {
    if (cp.c != u'\r' && cp.c != u'\n' && cp.c != u'\t')
      glyphs.push_back({font.GlyphFor(cp.c).index, x + width, y + font.ascent});
    width += Advance(font, cp.c);
  }
  if (dc.bkMode == OPAQUE) {
    SetSourceColor(cr, dc.bkColor);
    cairo_rectangle(cr, std::floor(x), std::floor(y), std::ceil(width), std::ceil(font.ascent + font.descent));
    cairo_fill(cr);
  }
  SetSourceColor(cr, dc.textColor);
  cairo_set_scaled_font(cr, font.scaled);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, font.antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
  cairo_show_glyphs(cr, glyphs.data(), int(glyphs.size()));
  if (font.log.lfUnderline || font.log.lfStrikeOut) {
    double thickness = std::max(1.0, std::round((font.ascent + font.descent) / 14));
    cairo_set_line_width(cr, thickness);
    auto line = [&](double at) {
      cairo_move_to(cr, x, std::round(at) + 0.5);
      cairo_line_to(cr, x + width, std::round(at) + 0.5);
      cairo_stroke(cr);
    };
    if (font.log.lfUnderline) line(y + font.ascent + 1);
    if (font.log.lfStrikeOut) line(y + font.ascent * 0.65);
  }
}

// Sets one of a DC's colours and returns the one it replaces.
COLORREF ExchangeColor(HDC handle, COLORREF DeviceContext::*field, COLORREF color) {
  auto dc = LookupDC(handle);
  if (!dc) return CLR_INVALID;
  COLORREF old = (*dc).*field;
  (*dc).*field = color & 0xFFFFFF;
  return old;
}

struct Line {
  int start, count;
  double width;
};

// Splits into lines: at line breaks unless single-line, and with word
// breaking at spaces so that lines fit the width. A word longer than the
// width stands on a line of its own.
std::vector<Line> Layout(Font& font, const WCHAR* text, int count, UINT format, double maxWidth) {
  std::vector<Line> lines;
  bool single = format & DT_SINGLELINE;
  bool wrap = (format & DT_WORDBREAK) && !single;
  int i = 0;
  while (i <= count) {
    int end = i;
    while (end < count && (single || (text[end] != u'\n' && text[end] != u'\r'))) ++end;
    // Paragraph [i, end).
    if (!wrap) {
      lines.push_back({i, end - i, Width(font, text + i, end - i)});
    } else {
      int lineStart = i;
      while (true) {
        // Take words while the line fits; the first word always goes on.
        int lineEnd = -1;
        int pos = lineStart;
        while (pos < end) {
          int wordEnd = pos;
          while (wordEnd < end && text[wordEnd] == u' ') ++wordEnd;
          while (wordEnd < end && text[wordEnd] != u' ') ++wordEnd;
          if (lineEnd != -1 && Width(font, text + lineStart, wordEnd - lineStart) > maxWidth) break;
          lineEnd = wordEnd;
          pos = wordEnd;
        }
        if (lineEnd == -1) lineEnd = end;
        int trimmed = lineEnd;
        while (trimmed > lineStart && text[trimmed - 1] == u' ') --trimmed;
        lines.push_back({lineStart, trimmed - lineStart, Width(font, text + lineStart, trimmed - lineStart)});
        int next = lineEnd;
        while (next < end && text[next] == u' ') ++next;
        if (next >= end) break;
        lineStart = next;
      }
    }
    if (end >= count) break;
    // Skip one line break (\r\n counts as one).
    i = end + ((text[end] == u'\r' && end + 1 < count && text[end + 1] == u'\n') ? 2 : 1);
    if (i > count) break;
  }
  return lines;
}

}  // namespace

Font::~Font() {
  if (scaled) cairo_scaled_font_destroy(scaled);
  if (face) cairo_font_face_destroy(face);
}

const Glyph& Font::GlyphFor(char32_t c) {
  auto it = glyphs.find(c);
  if (it != glyphs.end()) return it->second;
  Glyph g;
  char utf8[8];
  std::u16string one;
  if (c >= 0x10000) {
    one += char16_t(0xD800 + ((c - 0x10000) >> 10));
    one += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
  } else {
    one += char16_t(c);
  }
  orlik_wcs_to_utf8(one.c_str(), utf8, sizeof utf8);
  cairo_glyph_t* list = nullptr;
  int n = 0;
  if (cairo_scaled_font_text_to_glyphs(scaled, 0, 0, utf8, -1, &list, &n, nullptr, nullptr, nullptr) ==
          CAIRO_STATUS_SUCCESS &&
      n > 0) {
    g.index = list[0].index;
    cairo_text_extents_t e;
    cairo_scaled_font_glyph_extents(scaled, list, 1, &e);
    g.advance = e.x_advance;
  }
  cairo_glyph_free(list);
  return glyphs.emplace(c, g).first->second;
}

}  // namespace orlik::gdi

using namespace orlik;
using namespace orlik::gdi;

extern "C" {

HFONT CreateFontIndirectW(const LOGFONTW* lf) {
  if (!lf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::lock_guard lock(gdi::Lock());
  LoadAliases();
  auto font = std::make_shared<Font>();
  font->log = *lf;
  font->log.lfFaceName[LF_FACESIZE - 1] = 0;  // a face name is at most 31 characters

  std::string family = ToUtf8(View(font->log.lfFaceName));
  FcPattern* pattern = FcPatternCreate();
  if (!family.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, lf->lfWeight >= FW_SEMIBOLD ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, lf->lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  if ((lf->lfPitchAndFamily & 3) == FIXED_PITCH) FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  font->face = cairo_ft_font_face_create_for_pattern(match);
  FcPatternDestroy(match);

  // Negative heights are the character (em) height, positive ones the cell
  // height (ascent + descent), 0 a default size.
  cairo_matrix_t unit, ctm;
  cairo_matrix_init_scale(&unit, 1, 1);
  cairo_matrix_init_identity(&ctm);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
  cairo_scaled_font_t* probe = cairo_scaled_font_create(font->face, &unit, &ctm, options);
  cairo_font_extents_t fe;
  cairo_scaled_font_extents(probe, &fe);
  cairo_text_extents_t xe;
  cairo_scaled_font_text_extents(probe, "x", &xe);
  cairo_scaled_font_destroy(probe);
  double size = 13;
  if (lf->lfHeight < 0) size = -double(lf->lfHeight);
  if (lf->lfHeight > 0) size = double(lf->lfHeight) / std::max(0.01, fe.ascent + fe.descent);
  cairo_matrix_t scale;
  cairo_matrix_init_scale(&scale, size, size);
  // A requested average character width stretches the face horizontally.
  if (lf->lfWidth > 0 && xe.x_advance > 0) scale.xx = double(lf->lfWidth) / xe.x_advance;
  font->scaled = cairo_scaled_font_create(font->face, &scale, &ctm, options);
  cairo_font_options_destroy(options);
  cairo_scaled_font_extents(font->scaled, &fe);
  font->ascent = std::round(fe.ascent);
  font->descent = std::round(fe.descent);
  font->antialias = lf->lfQuality != NONANTIALIASED_QUALITY && lf->lfQuality != DRAFT_QUALITY;
  return InsertHandle(font);
}

HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCWSTR faceName) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfEscapement = escapement;
  lf.lfOrientation = orientation;
  lf.lfWeight = weight;
  lf.lfItalic = BYTE(italic);
  lf.lfUnderline = BYTE(underline);
  lf.lfStrikeOut = BYTE(strikeOut);
  lf.lfCharSet = BYTE(charSet);
  lf.lfOutPrecision = BYTE(outPrecision);
  lf.lfClipPrecision = BYTE(clipPrecision);
  lf.lfQuality = BYTE(quality);
  lf.lfPitchAndFamily = BYTE(pitchAndFamily);
  orlik_wcscpy_bounded(lf.lfFaceName, LF_FACESIZE, faceName);
  return CreateFontIndirectW(&lf);
}

COLORREF SetTextColor(HDC handle, COLORREF color) {
  return ExchangeColor(handle, &DeviceContext::textColor, color);
}

COLORREF GetTextColor(HDC handle) {
  auto dc = LookupDC(handle);
  return dc ? dc->textColor : CLR_INVALID;
}

COLORREF SetBkColor(HDC handle, COLORREF color) {
  return ExchangeColor(handle, &DeviceContext::bkColor, color);
}

COLORREF GetBkColor(HDC handle) {
  auto dc = LookupDC(handle);
  return dc ? dc->bkColor : CLR_INVALID;
}

int SetBkMode(HDC handle, int mode) {
  auto dc = LookupDC(handle);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int old = dc->bkMode;
  dc->bkMode = mode;
  return old;
}

int GetBkMode(HDC handle) {
  auto dc = LookupDC(handle);
  return dc ? dc->bkMode : 0;
}

BOOL ExtTextOutW(HDC handle, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                 const int*) {
  std::lock_guard lock(gdi::Lock());
  auto dc = LookupDC(handle);
  auto font = dc ? dc->CurrentFont() : nullptr;
  if (!dc || !font) return FALSE;
  cairo_t* cr = dc->Begin();
  if (rect && (options & ETO_OPAQUE)) {
    SetSourceColor(cr, dc->bkColor);
    cairo_rectangle(cr, rect->left, rect->top, double(rect->right) - rect->left, double(rect->bottom) - rect->top);
    cairo_fill(cr);
  }
  if (rect && (options & ETO_CLIPPED)) {
    cairo_rectangle(cr, rect->left, rect->top, double(rect->right) - rect->left, double(rect->bottom) - rect->top);
    cairo_clip(cr);
  }
  if (text && count > 0) DrawLine(*dc, *font, cr, text, int(count), x, y);
  dc->Finish(cr);
  return TRUE;
}

BOOL TextOutW(HDC dc, int x, int y, LPCWSTR text, int count) {
  if (count < 0) return FALSE;
  return ExtTextOutW(dc, x, y, 0, nullptr, text, UINT(count), nullptr);
}

int DrawTextW(HDC handle, LPCWSTR text, int count, LPRECT rect, UINT format) {
  std::lock_guard lock(gdi::Lock());
  auto dc = LookupDC(handle);
  auto font = dc ? dc->CurrentFont() : nullptr;
  if (!dc || !font || !rect) return 0;
  int n = Count(text, count);
  double lineHeight = font->ascent + font->descent;
  // Sizes in double: a rectangle anywhere in the int range must not wrap.
  double boxWidth = std::max<double>(0, double(rect->right) - rect->left);
  auto lines = Layout(*font, text ? text : u"", n, format, boxWidth);
  double total = lineHeight * double(lines.size());
  double widest = 0;
  for (auto& l : lines) widest = std::max(widest, l.width);

  if (format & DT_CALCRECT) {
    if (!(format & DT_WORDBREAK) || (format & DT_SINGLELINE) || widest > boxWidth)
      rect->right = LONG(std::min<double>(double(rect->left) + std::ceil(widest), INT32_MAX));
    rect->bottom = LONG(std::min<double>(double(rect->top) + total, INT32_MAX));
    return int(total);
  }

  double top = rect->top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) top = rect->top + ((double(rect->bottom) - rect->top) - lineHeight) / 2;
    if (format & DT_BOTTOM) top = rect->bottom - lineHeight;
    top = std::floor(top);
  }
  cairo_t* cr = dc->Begin();
  if (!(format & DT_NOCLIP)) {
    cairo_rectangle(cr, rect->left, rect->top, double(rect->right) - rect->left, double(rect->bottom) - rect->top);
    cairo_clip(cr);
  }
  double y = top;
  for (auto& l : lines) {
    double x = rect->left;
    if (format & DT_CENTER) x = rect->left + std::floor((boxWidth - l.width) / 2);
    if (format & DT_RIGHT) x = rect->right - l.width;
    DrawLine(*dc, *font, cr, text + l.start, l.count, std::round(x), y);
    y += lineHeight;
  }
  dc->Finish(cr);
  if (format & (DT_VCENTER | DT_BOTTOM)) return int(top - rect->top + total);
  return int(total);
}

BOOL GetTextExtentExPointW(HDC handle, LPCWSTR text, int count, int maxExtent, LPINT fit, LPINT dx,
                           LPSIZE size) {
  std::lock_guard lock(gdi::Lock());
  auto dc = LookupDC(handle);
  auto font = dc ? dc->CurrentFont() : nullptr;
  if (!dc || !font || count < 0 || (count > 0 && !text)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  double x = 0;
  int fitted = 0;
  bool stillFits = true;
  for (auto& cp : Decode(text, count)) {
    x += Advance(*font, cp.c);
    int units = cp.c >= 0x10000 ? 2 : 1;
    for (int k = 0; k < units; ++k) {
      if (dx) dx[cp.index + k] = int(std::lround(x));
      if (stillFits && std::lround(x) <= maxExtent) ++fitted;
    }
    if (std::lround(x) > maxExtent) stillFits = false;
  }
  if (fit) *fit = fitted;
  if (size) *size = {LONG(std::lround(x)), LONG(font->ascent + font->descent)};
  return TRUE;
}

BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, LPSIZE size) {
  return GetTextExtentExPointW(dc, text, count, 0, nullptr, nullptr, size);
}

}  // extern "C"
