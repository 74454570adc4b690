// Lines, polylines, polygons, rectangles, rounded rectangles, ellipses and
// gradient fills.
//
// Geometry follows the panel's GDI: a shape's bounding box runs from
// (left, top) up to but not including (right, bottom); a 1-pixel pen covers
// the outermost pixels of that box and wider pens are centred on them; a
// line covers its start point and stops before its end point. Cairo draws
// with antialiasing off, so a pixel belongs to a shape when its centre does:
// paths of odd-width pens therefore run through pixel centres (+0.5); an
// even-width pen has one pixel more inside the shape than outside (+1).
#include "gdi/dc.h"

#include <orlik/kernel.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace orlik::gdi {
namespace {

// The device context behind a handle; null with ERROR_INVALID_HANDLE set.
std::shared_ptr<DeviceContext> DCOrFail(HDC handle) {
  auto dc = LookupDC(handle);
  if (!dc) SetLastError(ERROR_INVALID_HANDLE);
  return dc;
}

// Pen of the DC, or null when it draws nothing (PS_NULL).
std::shared_ptr<Pen> StrokingPen(DeviceContext& dc) {
  auto pen = dc.CurrentPen();
  if (!pen || pen->style == PS_NULL) return nullptr;
  return pen;
}

std::shared_ptr<Brush> FillingBrush(DeviceContext& dc) {
  auto brush = dc.CurrentBrush();
  if (!brush || brush->style == BS_NULL) return nullptr;
  return brush;
}

// Offset of the pen's path from the pixel grid (see above).
double PenOffset(const Pen& pen) { return std::max(1, pen.width) % 2 ? 0.5 : 1.0; }

void PreparePen(cairo_t* cr, const Pen& pen) {
  int width = std::max(1, pen.width);
  cairo_set_line_width(cr, width);
  // Wide panel pens have round ends and joins; a 1-pixel pen is exact.
  cairo_set_line_cap(cr, width > 1 ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(cr, width > 1 ? CAIRO_LINE_JOIN_ROUND : CAIRO_LINE_JOIN_MITER);
  if (pen.style == PS_DASH) {
    double dash[] = {6.0 * width, 2.0 * width};
    cairo_set_dash(cr, dash, 2, 0);
  }
  SetSourceColor(cr, pen.color);
}

// What of a shape can show: the DC's area and, around it, a margin wider than
// any part of a pen that reaches into the area.
struct Area {
  double width, height, margin;
};

struct Box {
  double left, top, right, bottom;
};

bool Outside(const Box& b, const Area& a) {
  return b.right < -a.margin || b.left > a.width + a.margin || b.bottom < -a.margin ||
         b.top > a.height + a.margin;
}

// Cairo keeps path coordinates in 24.8 fixed point: beyond about eight million
// pixels they wrap round. Edges further out than the area's margin never show,
// so a rectangle is cut to the margin, which draws exactly the same pixels.
Box CutToArea(const Box& b, const Area& a) {
  return {std::clamp(b.left, -a.margin, a.width + a.margin), std::clamp(b.top, -a.margin, a.height + a.margin),
          std::clamp(b.right, -a.margin, a.width + a.margin),
          std::clamp(b.bottom, -a.margin, a.height + a.margin)};
}

// A curve cannot be cut like that; one reaching beyond Cairo's range is drawn
// within it (the same where it shows, but for shapes millions of pixels wide).
Box WithinCurveRange(const Box& b) {
  constexpr double kLimit = 1 << 22;
  return {std::clamp(b.left, -kLimit, kLimit), std::clamp(b.top, -kLimit, kLimit),
          std::clamp(b.right, -kLimit, kLimit), std::clamp(b.bottom, -kLimit, kLimit)};
}

// Fills then outlines the current path. addPath(cr, inset, area) adds the
// shape's path inset by half a pixel for the outline (through pixel centres)
// or not at all for the fill.
template <class AddPath>
BOOL FillAndStroke(HDC handle, AddPath addPath) {
  std::lock_guard lock(Lock());
  auto dc = DCOrFail(handle);
  if (!dc) return FALSE;
  cairo_t* cr = dc->Begin();
  auto strokingPen = StrokingPen(*dc);
  const Area area{double(dc->width), double(dc->height), (strokingPen ? std::max(1, strokingPen->width) : 0) + 2.0};
  if (auto brush = FillingBrush(*dc)) {
    addPath(cr, 0.0, area);
    SetSourceColor(cr, brush->color);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill(cr);
  }
  if (auto pen = StrokingPen(*dc)) {
    addPath(cr, PenOffset(*pen), area);
    PreparePen(cr, *pen);
    cairo_stroke(cr);
  }
  dc->Finish(cr);
  return TRUE;
}

void Normalise(int& a, int& b) {
  if (a > b) std::swap(a, b);
}

void AddEllipse(cairo_t* cr, double left, double top, double right, double bottom) {
  double w = right - left, h = bottom - top;
  if (w <= 0 || h <= 0) return;
  cairo_save(cr);
  cairo_translate(cr, left + w / 2, top + h / 2);
  cairo_scale(cr, w / 2, h / 2);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
}

void AddRoundRect(cairo_t* cr, double left, double top, double right, double bottom, double rx,
                  double ry) {
  double w = right - left, h = bottom - top;
  if (w <= 0 || h <= 0) return;
  rx = std::clamp(rx, 0.0, w / 2);
  ry = std::clamp(ry, 0.0, h / 2);
  if (rx <= 0 || ry <= 0) {
    cairo_rectangle(cr, left, top, w, h);
    return;
  }
  auto corner = [&](double cx, double cy, double from) {
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, from, from + M_PI / 2);
    cairo_restore(cr);
  };
  cairo_new_sub_path(cr);
  corner(right - rx, top + ry, -M_PI / 2);
  corner(right - rx, bottom - ry, 0);
  corner(left + rx, bottom - ry, M_PI / 2);
  corner(left + rx, top + ry, M_PI);
  cairo_close_path(cr);
}

BOOL StrokeOpenPath(HDC handle, const POINT* points, int count, bool updatePosition) {
  std::lock_guard lock(Lock());
  auto dc = DCOrFail(handle);
  if (!dc) return FALSE;
  if (!points || count < 2) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (auto pen = StrokingPen(*dc)) {
    cairo_t* cr = dc->Begin();
    PreparePen(cr, *pen);
    const double o = PenOffset(*pen);
    cairo_move_to(cr, points[0].x + o, points[0].y + o);
    for (int i = 1; i < count; ++i) cairo_line_to(cr, points[i].x + o, points[i].y + o);
    cairo_stroke(cr);
    // The last point itself stays clear, except under a wide pen's round end.
    dc->Finish(cr);
  }
  if (updatePosition) dc->position = points[count - 1];
  return TRUE;
}

// A round rectangle or an ellipse in a box: the box normalised, nothing drawn
// when it lies wholly outside the drawing area, else `add` draws the curve in
// the box (kept within the range curves are drawn in) inset by the pen.
template <class AddCurve>
BOOL FillAndStrokeCurve(HDC handle, int left, int top, int right, int bottom, AddCurve add) {
  Normalise(left, right);
  Normalise(top, bottom);
  return FillAndStroke(handle, [&](cairo_t* cr, double inset, const Area& area) {
    Box whole{double(left), double(top), double(right), double(bottom)};
    if (Outside(whole, area)) return;
    Box b = WithinCurveRange(whole);
    add(cr, Box{b.left + inset, b.top + inset, b.right - inset, b.bottom - inset});
  });
}

}  // namespace
}  // namespace orlik::gdi

using namespace orlik;
using namespace orlik::gdi;

extern "C" {

BOOL MoveToEx(HDC handle, int x, int y, LPPOINT previous) {
  std::lock_guard lock(gdi::Lock());
  auto dc = DCOrFail(handle);
  if (!dc) return FALSE;
  if (previous) *previous = dc->position;
  dc->position = {x, y};
  return TRUE;
}

BOOL LineTo(HDC handle, int x, int y) {
  POINT from;
  {
    std::lock_guard lock(gdi::Lock());
    auto dc = DCOrFail(handle);
    if (!dc) return FALSE;
    from = dc->position;
  }
  if (from.x == x && from.y == y) {
    std::lock_guard lock(gdi::Lock());
    LookupDC(handle)->position = {x, y};
    return TRUE;
  }
  POINT line[2] = {from, {x, y}};
  return StrokeOpenPath(handle, line, 2, true);
}

BOOL Polyline(HDC handle, const POINT* points, int count) {
  return StrokeOpenPath(handle, points, count, false);
}

BOOL Polygon(HDC handle, const POINT* points, int count) {
  if (!points || count < 2) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return FillAndStroke(handle, [&](cairo_t* cr, double offset, const Area&) {
    // The fill covers the pixels whose centres lie inside the polygon through
    // the points' centres; the outline runs through the pen's offset.
    if (offset == 0.0) offset = 0.5;
    cairo_move_to(cr, points[0].x + offset, points[0].y + offset);
    for (int i = 1; i < count; ++i) cairo_line_to(cr, points[i].x + offset, points[i].y + offset);
    cairo_close_path(cr);
  });
}

BOOL Rectangle(HDC handle, int left, int top, int right, int bottom) {
  Normalise(left, right);
  Normalise(top, bottom);
  return FillAndStroke(handle, [&](cairo_t* cr, double inset, const Area& area) {
    if (right <= left || bottom <= top) return;
    Box b = CutToArea({double(left), double(top), double(right), double(bottom)}, area);
    cairo_rectangle(cr, b.left + inset, b.top + inset, b.right - b.left - 2 * inset,
                    b.bottom - b.top - 2 * inset);
  });
}

BOOL RoundRect(HDC handle, int left, int top, int right, int bottom, int cornerWidth,
               int cornerHeight) {
  return FillAndStrokeCurve(handle, left, top, right, bottom, [&](cairo_t* cr, const Box& b) {
    AddRoundRect(cr, b.left, b.top, b.right, b.bottom, std::abs(double(cornerWidth)) / 2.0,
                 std::abs(double(cornerHeight)) / 2.0);
  });
}

BOOL Ellipse(HDC handle, int left, int top, int right, int bottom) {
  return FillAndStrokeCurve(handle, left, top, right, bottom, [&](cairo_t* cr, const Box& b) {
    AddEllipse(cr, b.left, b.top, b.right, b.bottom);
  });
}

BOOL GradientFill(HDC handle, PTRIVERTEX vertices, ULONG vertexCount, LPVOID mesh, ULONG meshCount,
                  ULONG mode) {
  if (!vertices || !mesh || (mode != GRADIENT_FILL_RECT_H && mode != GRADIENT_FILL_RECT_V)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(gdi::Lock());
  auto dc = DCOrFail(handle);
  if (!dc) return FALSE;
  const auto* rects = static_cast<const GRADIENT_RECT*>(mesh);
  for (ULONG i = 0; i < meshCount; ++i) {
    if (rects[i].UpperLeft >= vertexCount || rects[i].LowerRight >= vertexCount) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
  }
  cairo_t* cr = dc->Begin();
  for (ULONG i = 0; i < meshCount; ++i) {
    const TRIVERTEX& a = vertices[rects[i].UpperLeft];
    const TRIVERTEX& b = vertices[rects[i].LowerRight];
    int left = std::min(a.x, b.x), right = std::max(a.x, b.x);
    int top = std::min(a.y, b.y), bottom = std::max(a.y, b.y);
    if (right <= left || bottom <= top) continue;
    // Colours run from the first vertex's side to the second's: the first
    // and last pixel columns (rows) carry the two colours exactly.
    const bool horizontal = mode == GRADIENT_FILL_RECT_H;
    const TRIVERTEX& start = (horizontal ? a.x <= b.x : a.y <= b.y) ? a : b;
    const TRIVERTEX& end = &start == &a ? b : a;
    cairo_pattern_t* g = horizontal
                             ? cairo_pattern_create_linear(left + 0.5, 0, std::max(left + 0.5, right - 0.5), 0)
                             : cairo_pattern_create_linear(0, top + 0.5, 0, std::max(top + 0.5, bottom - 0.5));
    cairo_pattern_add_color_stop_rgb(g, 0, (start.Red >> 8) / 255.0, (start.Green >> 8) / 255.0,
                                     (start.Blue >> 8) / 255.0);
    cairo_pattern_add_color_stop_rgb(g, 1, (end.Red >> 8) / 255.0, (end.Green >> 8) / 255.0,
                                     (end.Blue >> 8) / 255.0);
    cairo_set_source(cr, g);
    Box cut = CutToArea({double(left), double(top), double(right), double(bottom)},
                        Area{double(dc->width), double(dc->height), 1.0});
    cairo_rectangle(cr, cut.left, cut.top, cut.right - cut.left, cut.bottom - cut.top);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
  }
  dc->Finish(cr);
  return TRUE;
}

}  // extern "C"
