// Stacking and clipping: which window lies above which, the part of the
// screen each may draw on, what a change uncovers, and which window a touch
// reaches. Top-level windows stack by their stamps (WS_EX_TOPMOST ones above
// the rest), the other processes' windows of the panel among them; children
// lie above their parent, in their own stamp order.
#include "user/panel_windows.h"
#include "user/uncovered.h"
#include "user/window_system.h"

#include <orlik/kernel.h>

#include "board/display.h"

#include <algorithm>
#include <map>

namespace orlik::user {
namespace {

constexpr int64_t kGap = 1024;  // between the stamps of windows stacked in turn

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right <= r.left || r.bottom <= r.top) return RECT{0, 0, 0, 0};
  return r;
}

bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT Screen() {
  auto& d = board::Display::Get();
  return RECT{0, 0, d.Width(), d.Height()};
}

bool Topmost(const Window& w) { return w.exStyle & WS_EX_TOPMOST; }

panel::Key KeyOf(const Window& top) {
  return panel::Key{Topmost(top), top.z, panel::Self(), uint64_t(reinterpret_cast<uintptr_t>(top.handle))};
}

bool IsDescendant(WindowSystem& s, const Window& w, HWND ancestor) {
  for (const Window* p = &w; IsChildWindow(*p);) {
    if (p->parent == ancestor) return true;
    p = s.Find(p->parent);
    if (!p) return false;
  }
  return false;
}

std::vector<panel::Entry> Published(WindowSystem& s) {
  std::vector<panel::Entry> mine;
  for (auto& [h, w] : s.windows) {
    if (IsChildWindow(w) || !Shown(s, w)) continue;
    RECT r = ClippedRect(s, w);
    if (Empty(r)) continue;
    mine.push_back(panel::Entry{panel::Self(), uint64_t(reinterpret_cast<uintptr_t>(h)), r, w.z, Topmost(w)});
  }
  return mine;
}

}  // namespace

void Subtract(Region& region, const RECT& cut) {
  if (Empty(cut)) return;
  Region out;
  out.reserve(region.size() + 4);
  for (const RECT& r : region) {
    RECT i = Intersect(r, cut);
    if (Empty(i)) {
      out.push_back(r);
      continue;
    }
    if (r.top < i.top) out.push_back(RECT{r.left, r.top, r.right, i.top});
    if (i.bottom < r.bottom) out.push_back(RECT{r.left, i.bottom, r.right, r.bottom});
    if (r.left < i.left) out.push_back(RECT{r.left, i.top, i.left, i.bottom});
    if (i.right < r.right) out.push_back(RECT{i.right, i.top, r.right, i.bottom});
  }
  region = std::move(out);
}

bool Intersects(const Region& region, const RECT& rect) {
  for (const RECT& r : region)
    if (!Empty(Intersect(r, rect))) return true;
  return false;
}

bool Contains(const RECT& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

bool Shown(WindowSystem& s, const Window& w) {
  for (const Window* p = &w;;) {
    if (!(p->style & WS_VISIBLE)) return false;
    if (!IsChildWindow(*p)) return true;
    p = s.Find(p->parent);
    if (!p) return true;
  }
}

RECT ClippedRect(WindowSystem& s, const Window& w) {
  RECT r = Intersect(w.rect, Screen());
  for (const Window* p = &w; IsChildWindow(*p);) {
    p = s.Find(p->parent);
    if (!p) break;
    r = Intersect(r, p->rect);
  }
  return r;
}

Window* TopLevelOf(WindowSystem& s, Window& w) {
  Window* p = &w;
  while (IsChildWindow(*p)) {
    Window* up = s.Find(p->parent);
    if (!up) break;
    p = up;
  }
  return p;
}

std::vector<Window*> Stack(WindowSystem& s) {
  std::vector<Window*> tops;
  std::multimap<HWND, Window*> children;
  for (auto& [h, w] : s.windows) {
    if (IsChildWindow(w) && s.Find(w.parent)) children.emplace(w.parent, &w);
    else tops.push_back(&w);
  }
  auto below = [](const Window* a, const Window* b) {
    return std::tuple(Topmost(*a) && !IsChildWindow(*a), a->z, a->handle) <
           std::tuple(Topmost(*b) && !IsChildWindow(*b), b->z, b->handle);
  };
  std::sort(tops.begin(), tops.end(), below);
  std::vector<Window*> order;
  order.reserve(s.windows.size());
  auto add = [&](auto& self, Window* w) -> void {
    order.push_back(w);
    std::vector<Window*> kids;
    for (auto [it, end] = children.equal_range(w->handle); it != end; ++it) kids.push_back(it->second);
    std::sort(kids.begin(), kids.end(), below);
    for (Window* k : kids) self(self, k);
  };
  for (Window* t : tops) add(add, t);
  return order;
}

namespace {

// Takes from the region what the shown windows stacked above w cover, the
// other processes' included; w's descendants count only when asked.
void SubtractAbove(WindowSystem& s, Window& w, bool descendants, Region& region) {
  auto order = Stack(s);
  auto at = std::find(order.begin(), order.end(), &w);
  for (auto it = at == order.end() ? at : at + 1; it != order.end() && !region.empty(); ++it) {
    Window& o = **it;
    if (Shown(s, o) && (descendants || !IsDescendant(s, o, w.handle))) Subtract(region, ClippedRect(s, o));
  }
  panel::Key key = KeyOf(*TopLevelOf(s, w));
  for (const panel::Entry& e : panel::Others())
    if (panel::KeyOf(e) > key) Subtract(region, e.rect);
}

}  // namespace

Region VisibleRegion(WindowSystem& s, Window& w) {
  if (!Shown(s, w)) return {};
  RECT clipped = ClippedRect(s, w);
  if (Empty(clipped)) return {};
  Region region{clipped};
  SubtractAbove(s, w, (w.style & WS_CLIPCHILDREN) != 0, region);
  return region;
}

Region UncoveredPart(HWND window, const RECT& area) {
  if (Empty(area)) return {};
  Region region{area};
  auto& s = System();
  std::lock_guard lock(s.mutex);
  if (Window* w = s.Find(window)) SubtractAbove(s, *w, false, region);
  return region;
}

int64_t NewStamp(WindowSystem&, bool top) { return panel::Stamp(top); }

void Restack(WindowSystem& s, Window& w, HWND insertAfter) {
  bool child = IsChildWindow(w);
  if (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
    if (!child && insertAfter == HWND_TOPMOST) w.exStyle |= WS_EX_TOPMOST;
    if (!child && insertAfter == HWND_NOTOPMOST) w.exStyle &= ~WS_EX_TOPMOST;
    w.z = NewStamp(s, true);
    return;
  }
  if (insertAfter == HWND_BOTTOM) {
    if (!child) w.exStyle &= ~WS_EX_TOPMOST;
    w.z = NewStamp(s, false);
    return;
  }
  // Just below another window of the same level.
  Window* above = s.Find(insertAfter);
  if (!above || above == &w || IsChildWindow(*above) != child || (child && above->parent != w.parent)) return;
  if (!child) w.exStyle = (w.exStyle & ~WS_EX_TOPMOST) | (above->exStyle & WS_EX_TOPMOST);
  bool topmost = Topmost(w);
  int64_t lower = INT64_MIN;
  bool found = false;
  for (auto& [h, o] : s.windows) {
    if (&o == &w || IsChildWindow(o) != child || (child && o.parent != w.parent) ||
        (!child && Topmost(o) != topmost) || o.z >= above->z)
      continue;
    lower = found ? std::max(lower, o.z) : o.z;
    found = true;
  }
  if (!child)
    for (const panel::Entry& e : panel::Others())
      if (e.topmost == topmost && e.z < above->z) lower = found ? std::max(lower, e.z) : e.z, found = true;
  w.z = found ? lower + (above->z - lower) / 2 : above->z - kGap;
}

Change BeginChange(WindowSystem& s, HWND window) {
  Change c;
  c.window = window;
  Window* w = s.Find(window);
  if (!w) return c;
  c.topLevel = !IsChildWindow(*w);
  if (Shown(s, *w)) c.before = Region{ClippedRect(s, *w)};
  for (Window* o : Stack(s)) c.order.push_back(o->handle);
  Window* top = TopLevelOf(s, *w);
  c.topmost = Topmost(*top);
  c.z = w->z;
  c.topZ = top->z;
  return c;
}

void EndChange(WindowSystem& s, const Change& c) {
  Window* w = s.Find(c.window);
  Region uncovered = c.before;
  if (w && Shown(s, *w)) {
    bool lowered = w->z < c.z || (c.topLevel && c.topmost && !Topmost(*w));
    if (!lowered) Subtract(uncovered, ClippedRect(s, *w));
    // Raised: what covered it shows it now.
    if (w->z > c.z || (c.topLevel && !c.topmost && Topmost(*w))) Invalidate(*w, true);
  }
  if (!uncovered.empty()) {
    // The windows that lay below it, here and in the other processes.
    for (HWND h : c.order) {
      if (h == c.window) break;
      Window* o = s.Find(h);
      if (o && Shown(s, *o) && Intersects(uncovered, ClippedRect(s, *o))) Invalidate(*o, true);
    }
    if (c.topLevel)
      panel::Damage(panel::Key{c.topmost, c.topZ, panel::Self(), uint64_t(reinterpret_cast<uintptr_t>(c.window))},
                    uncovered);
  }
  panel::Publish(Published(s));
  s.changed.notify_all();
}

void Expose(WindowSystem& s, const panel::Key& key, const RECT& area) {
  for (auto& [h, w] : s.windows) {
    if (!Shown(s, w) || !(KeyOf(*TopLevelOf(s, w)) < key)) continue;
    if (!Empty(Intersect(ClippedRect(s, w), area))) Invalidate(w, true);
  }
  s.changed.notify_all();
}

void ExposeAll(WindowSystem& s) {
  for (auto& [h, w] : s.windows)
    if (Shown(s, w)) Invalidate(w, true);
  s.changed.notify_all();
}

HWND LocalHit(WindowSystem& s, int x, int y, HWND within) {
  auto order = Stack(s);
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    Window& w = **it;
    if (!Shown(s, w) || !Contains(ClippedRect(s, w), x, y)) continue;
    if (within && TopLevelOf(s, w)->handle != within) continue;
    if (w.style & WS_DISABLED) {
      if (IsChildWindow(w)) continue;  // the touch goes to what lies below
      return nullptr;
    }
    return w.handle;
  }
  return nullptr;
}

void PostTouch(WindowSystem& s, int x, int y, bool down, HWND within) {
  HWND target = nullptr;
  bool captured = s.capture && s.Find(s.capture) && (s.captureExplicit || !down);
  target = captured ? s.capture : LocalHit(s, x, y, within);
  if (!s.captureExplicit) s.capture = down ? target : nullptr;
  Window* w = target ? s.Find(target) : nullptr;
  if (!w) return;
  LPARAM point = MAKELPARAM(x - w->rect.left, y - w->rect.top);
  MSG msg{target, down ? WM_LBUTTONDOWN : WM_LBUTTONUP, down ? WPARAM(MK_LBUTTON) : 0, point, GetTickCount(),
          {x, y}};
  s.queues[w->thread].posted.push_back(msg);
  s.changed.notify_all();
}

bool RouteTouch(WindowSystem& s, int x, int y, bool down, int32_t* pid, uint64_t* handle) {
  if (s.captureExplicit && s.capture && s.Find(s.capture)) {
    *pid = panel::Self();
    *handle = 0;
    return true;
  }
  if (!down && panel::Pressed(pid, handle)) {
    panel::SetPress(0, 0);
    return true;
  }
  bool found = false;
  panel::Key best{};
  for (auto& [h, w] : s.windows) {
    if (IsChildWindow(w) || !Shown(s, w) || !Contains(ClippedRect(s, w), x, y)) continue;
    if (!found || KeyOf(w) > best) best = KeyOf(w), found = true;
  }
  for (const panel::Entry& e : panel::Others())
    if (Contains(e.rect, x, y) && (!found || panel::KeyOf(e) > best)) best = panel::KeyOf(e), found = true;
  if (!found) return false;
  *pid = best.pid;
  *handle = best.handle;
  if (down) panel::SetPress(best.pid, best.handle);
  return true;
}

}  // namespace orlik::user
