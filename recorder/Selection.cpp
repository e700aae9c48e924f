// Selection: the capture area is chosen on a borderless, topmost window over the whole virtual screen,
// every monitor included: dragged out as a rectangle, or taken whole from what is there.
//
//   drag                  the rectangle between the press and the release
//   click                 (press and release no farther apart than the system's drag distance) the
//                         window under the pointer, outlined while the pointer rests on it; the
//                         recording follows that window as it moves
//   Space or F            the monitor under the pointer
//   Enter                 the area of the last recording started in this run of the program
//   Esc, right button     back to the main dialog without recording
//
// The window shows a snapshot of the virtual screen taken as it opens: on a desktop whose windows the system
// composes, a window that paints nothing shows no screen behind it, and under Wine it shows black.
// The rubber band is drawn in R2_NOTXORPEN over that picture, so drawing the same rectangle twice
// takes it off again. Once a rectangle is taken the window is cut down by a region to the one-pixel
// ring along its edge, drawn dotted red; the inside of the ring is the capture area and, being outside
// the window, stays free for the user to work in while the recording runs. Drawing and regions are in
// the window's client coordinates; the capture area goes to StartRecording in screen coordinates.
//
// A followed window is looked at every FollowPeriodMs on this thread: when it has moved, the ring goes
// with it and the capture thread is handed the area's new place (MoveCaptureArea). The area keeps its
// first size; a minimised or closed window leaves it where it was last.
#include <windows.h>
#include <dwmapi.h>

#include "Func.h"
#include "Tavrel.h"
#include "rec.h"

// ---- State --------------------------------------------------------------------------------------------

static HWND SelectionWindow;   // null when there is none
static bool Dragging;          // from an accepted press to the next accepted release
// A rectangle was taken and the window is the ring. Presses on the ring are ignored from then on: the
// save dialog's nested message loop still delivers them, and a second rectangle must not bring a
// second save dialog or recording.
static bool Outlined;
static Rect Current;           // left, top: the press point; right, bottom: the last mouse move
static Rect Drawn;             // the rectangle whose band is on the screen, as it was drawn
static HBITMAP Snapshot;       // the virtual screen as it was when the window opened
static HDC SnapshotDC;
// The virtual screen in screen coordinates, which is where the window lies; its origin is negative
// when a monitor lies left of or above the primary one.
static Rect Screen;
static Rect Hover;             // the band around the window under the pointer, while HoverShown
static bool HoverShown;
static Rect Area;              // the capture area once taken, in screen coordinates
static HWND Followed;          // the picked window the area follows; null for any other area
static POINT FollowOffset;     // the area's top-left corner less the window's, as picked
static Rect LastArea;          // the area of the last capture started in this run, if HaveLastArea
static bool HaveLastArea;

// A selection this narrow has no inside once the ring is taken off: nothing to record.
const int32_t MinSelectionSide = 3;
const UINT_PTR FollowTimer = 1;
// A quarter of the frame period: a frame taken while the followed window moves is at most this late
// in finding it.
const UINT FollowPeriodMs = 50;

static RECT* AsRECT(Rect* rect) { return reinterpret_cast<RECT*>(rect); }

// ---- Drawing ------------------------------------------------------------------------------------------

static void DrawBandOn(HDC dc, const Rect* rect) {
  HPEN pen = CreatePen(PS_SOLID, 4, RGB(0, 255, 0));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  int oldMix = SetROP2(dc, R2_NOTXORPEN);
  // The DC's white brush under NOTXOR leaves the inside as it is; under the pen red and blue invert
  // and green stays, so a second drawing restores every pixel.
  Rectangle(dc, rect->left, rect->top, rect->right, rect->bottom);
  SetROP2(dc, oldMix);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
}

static void DrawOutlineOn(HDC dc, const Rect* rect) {
  HPEN pen = CreatePen(PS_DOT, 1, RGB(255, 0, 0));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  // Opaque white background: the gaps between the dots are white. The white fill of the inside lies
  // outside the window's region and is never seen.
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, RGB(255, 255, 255));
  SetROP2(dc, R2_COPYPEN);
  Rectangle(dc, rect->left, rect->top, rect->right, rect->bottom);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
}

void DrawRubberBand(HWND window, const Rect* rect) {
  HDC dc = GetDC(window);
  DrawBandOn(dc, rect);
  ReleaseDC(window, dc);
}

void DrawAreaOutline(HWND window, const Rect* rect) {
  HDC dc = GetDC(window);
  DrawOutlineOn(dc, rect);
  ReleaseDC(window, dc);
}

// Whatever part of the window the system asks for gets the same picture the window already shows:
// the snapshot with the band on it while dragging, the dotted ring once a rectangle is taken. The
// ring is repainted this way after the region change's own redraw, which would otherwise leave it
// unpainted (black under Wine) behind the save dialog.
static void PaintSelection(HDC dc) {
  if (Outlined) {
    DrawOutlineOn(dc, &Drawn);
    return;
  }
  if (SnapshotDC)
    BitBlt(dc, 0, 0, Screen.right - Screen.left, Screen.bottom - Screen.top, SnapshotDC, 0, 0, SRCCOPY);
  if (Dragging) DrawBandOn(dc, &Drawn);
  if (HoverShown) DrawBandOn(dc, &Hover);
}

// The screen DC spans every monitor in screen coordinates, negative ones included.
static void TakeSnapshot() {
  int width = Screen.right - Screen.left, height = Screen.bottom - Screen.top;
  HDC screen = GetDC(nullptr);
  SnapshotDC = CreateCompatibleDC(screen);
  Snapshot = CreateCompatibleBitmap(screen, width, height);
  SelectObject(SnapshotDC, Snapshot);
  BitBlt(SnapshotDC, 0, 0, width, height, screen, Screen.left, Screen.top, SRCCOPY);
  ReleaseDC(nullptr, screen);
}

static void FreeSnapshot() {
  if (SnapshotDC) DeleteDC(SnapshotDC);  // the DC goes first, so the bitmap is no longer selected
  if (Snapshot) DeleteObject(Snapshot);
  SnapshotDC = nullptr;
  Snapshot = nullptr;
}

// ---- Windows under the pointer ----------------------------------------------------------------------

// The window's frame as the system draws it. Under desktop composition GetWindowRect includes the
// invisible resize borders, several pixels wide, that the frame bounds leave out; without composition
// (Windows 7's basic theme, Wine without a compositor) the attribute may fail and the window
// rectangle is the frame.
static void WindowBounds(HWND window, Rect* bounds) {
  if (DwmGetWindowAttribute(window, DWMWA_EXTENDED_FRAME_BOUNDS, bounds, sizeof(RECT)) != S_OK)
    GetWindowRect(window, AsRECT(bounds));
}

// A window the user sees: visible, not minimised, not cloaked (from Windows 8 on, suspended apps and
// the windows of other virtual desktops are visible yet cloaked), not a click-through overlay, and
// not the selection window itself.
static bool Seen(HWND window) {
  if (window == SelectionWindow || !IsWindowVisible(window) || IsIconic(window)) return false;
  LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  if ((exStyle & WS_EX_LAYERED) && (exStyle & WS_EX_TRANSPARENT)) return false;
  DWORD cloaked = 0;
  return DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked, sizeof cloaked) != S_OK || !cloaked;
}

struct WindowPick {
  POINT At;     // screen coordinates
  HWND Found;
  Rect Bounds;  // its frame, not clipped
};

// The frame lies within the window rectangle: the plain rectangle test comes first, so that the
// system is asked about the frame and the cloaking only for the few windows under the pointer, not at
// every mouse move for every window there is.
static BOOL CALLBACK PickIfUnder(HWND window, LPARAM param) {
  WindowPick* pick = (WindowPick*)param;
  RECT outer;
  if (!GetWindowRect(window, &outer) || !PtInRect(&outer, pick->At) || !Seen(window)) return TRUE;
  Rect bounds;
  WindowBounds(window, &bounds);
  if (!PtInRect(AsRECT(&bounds), pick->At)) return TRUE;
  pick->Found = window;
  pick->Bounds = bounds;
  return FALSE;
}

// The top-level window the user sees at a client point of the selection window, or null. EnumWindows
// goes from the top of the z-order down, so the first one found is the one in front.
static HWND WindowAt(int32_t x, int32_t y, Rect* bounds) {
  WindowPick pick = {{x + Screen.left, y + Screen.top}, nullptr, {}};
  EnumWindows(PickIfUnder, (LPARAM)&pick);
  *bounds = pick.Bounds;
  return pick.Found;
}

// The band around the window under the pointer moves to the window now there, or goes.
static void ShowHover(HWND window, int32_t x, int32_t y) {
  Rect bounds;
  bool found = WindowAt(x, y, &bounds) && ClipToScreen(&bounds, &Screen);
  Rect client = {bounds.left - Screen.left, bounds.top - Screen.top, bounds.right - Screen.left,
                 bounds.bottom - Screen.top};
  if (found == HoverShown && (!found || __builtin_memcmp(&client, &Hover, sizeof client) == 0)) return;
  if (HoverShown) DrawRubberBand(window, &Hover);
  HoverShown = found;
  Hover = client;
  if (found) DrawRubberBand(window, &Hover);
}

static void HideHover(HWND window) {
  if (HoverShown) DrawRubberBand(window, &Hover);
  HoverShown = false;
}

// ---- Regions ------------------------------------------------------------------------------------------

void SetFrameRegion(HWND window, Rect* rect) {
  HRGN ring = CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
  ShrinkRect(rect);
  HRGN inside = CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
  CombineRgn(ring, ring, inside, RGN_DIFF);
  DeleteObject(inside);
  // The system owns the ring from here. Mouse input off the ring, the inside of the area included,
  // goes to the windows beneath.
  SetWindowRgn(window, ring, TRUE);
}

// ---- Taking an area -----------------------------------------------------------------------------------

// The ring one pixel outside a capture area, in the window's client coordinates.
static Rect RingAround(const Rect* area) {
  return Rect{area->left - Screen.left - 1, area->top - Screen.top - 1, area->right - Screen.left + 1,
              area->bottom - Screen.top + 1};
}

// The window becomes the ring around the area (screen coordinates), and the save dialog follows.
// Every way of choosing an area ends here.
static void TakeArea(HWND window, const Rect* area) {
  HideHover(window);
  Outlined = true;
  Area = *area;
  Drawn = RingAround(&Area);
  Rect inside = Drawn;
  SetFrameRegion(window, &inside);
  DrawAreaOutline(window, &Drawn);
  FreeSnapshot();
  // The ring follows the window from here, during the save dialog and the countdown too.
  if (Followed) SetTimer(window, FollowTimer, FollowPeriodMs, nullptr);
  Rect taken = Area;  // the follow timer moves Area while the save dialog is open
  // Runs the save dialog; on a cancel the window is destroyed before this returns, so nothing
  // touches it afterwards.
  StartRecording(&taken);
}

// A click: the window under the pointer, as far as it is on the screen; nothing there, and the
// selection goes on.
static void TakeWindowAt(HWND window, int32_t x, int32_t y) {
  Rect bounds;
  HWND picked = WindowAt(x, y, &bounds);
  Rect area = bounds;
  if (!picked || !ClipToScreen(&area, &Screen)) return;
  Followed = picked;
  FollowOffset = {area.left - bounds.left, area.top - bounds.top};
  TakeArea(window, &area);
}

static void TakeMonitorUnderPointer(HWND window) {
  POINT at;
  GetCursorPos(&at);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoA(MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST), &monitor)) return;
  TakeArea(window, reinterpret_cast<Rect*>(&monitor.rcMonitor));
}

// As far as it is still on the screen: monitors may have changed since.
static void TakeLastArea(HWND window) {
  Rect area = LastArea;
  if (HaveLastArea && ClipToScreen(&area, &Screen)) TakeArea(window, &area);
}

// The followed window has moved: the ring goes with it, then the capture thread takes the new place.
static void OnFollowTimer(HWND window) {
  if (!IsWindow(Followed) || IsIconic(Followed)) return;
  Rect bounds;
  WindowBounds(Followed, &bounds);
  Rect moved = MoveAreaTo(&Area, bounds.left + FollowOffset.x, bounds.top + FollowOffset.y, &Screen);
  if (moved.left == Area.left && moved.top == Area.top) return;
  Area = moved;
  Drawn = RingAround(&Area);
  Rect inside = Drawn;
  SetFrameRegion(window, &inside);  // its redraw paints the outline on the new ring
  MoveCaptureArea(Area.left, Area.top);
}

// ---- Mouse and keys -----------------------------------------------------------------------------------

// Mouse positions are read as unsigned 16-bit words: they are client coordinates of a window that
// starts at the virtual screen's top-left corner, never negative even where screen coordinates are.
static void OnButtonDown(HWND window, LPARAM lParam) {
  if (Recording || Outlined) return;
  HideHover(window);
  SetRect(AsRECT(&Drawn), LOWORD(lParam), HIWORD(lParam), LOWORD(lParam), HIWORD(lParam));
  Current = Drawn;
  Dragging = true;
}

static void OnMouseMove(HWND window, LPARAM lParam) {
  if (Dragging) {
    Current.right = LOWORD(lParam);
    Current.bottom = HIWORD(lParam);
    DrawRubberBand(window, &Drawn);    // the old band off
    DrawRubberBand(window, &Current);  // the new band on
    Drawn = Current;
  } else if (!Outlined && !Recording) {
    ShowHover(window, LOWORD(lParam), HIWORD(lParam));
  }
  if (!Recording) SetCursor(LoadCursorA(Instance, "SELECTCUR"));
}

// A press and release that moved no farther than the system lets the pointer go before a drag
// begins is a click, not a rectangle.
static bool IsClick(const Rect* drag) {
  return abs(drag->right - drag->left) <= GetSystemMetrics(SM_CXDRAG) &&
         abs(drag->bottom - drag->top) <= GetSystemMetrics(SM_CYDRAG);
}

// The release point itself is not used: the moving corner is the one of the last mouse move.
static void OnButtonUp(HWND window) {
  if (!Dragging || Recording) return;
  Dragging = false;
  if (IsClick(&Current)) {
    DrawRubberBand(window, &Drawn);  // the band of a slight move off
    TakeWindowAt(window, Current.left, Current.top);
    return;
  }
  NormaliseRect(&Current);
  if (Current.right - Current.left < MinSelectionSide || Current.bottom - Current.top < MinSelectionSide) {
    DrawRubberBand(window, &Drawn);  // the band off; the next press starts a new rectangle
    return;
  }
  ShrinkRect(&Current);  // the inside of the ring the rectangle's edge becomes
  Rect area = SelectionToScreen(&Current, &Screen);
  TakeArea(window, &area);
}

// Keys count only until an area is taken; a drag under way can only be left.
static void OnKeyDown(HWND window, WPARAM key) {
  if (Outlined || Recording) return;
  if (key == VK_ESCAPE) {
    CancelSelection();
    return;
  }
  if (Dragging) return;
  if (key == VK_SPACE || key == 'F') TakeMonitorUnderPointer(window);
  if (key == VK_RETURN) TakeLastArea(window);
}

// The release, not the press: the release of a press that left would reach the window beneath.
static void OnRightButtonUp() {
  if (!Outlined && !Recording) CancelSelection();
}

INT_PTR CALLBACK SelectionDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: PaintSelection((HDC)wParam); return TRUE;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      PaintSelection(dc);
      EndPaint(window, &paint);
      return TRUE;
    }
    case WM_LBUTTONDOWN: OnButtonDown(window, lParam); return TRUE;
    case WM_MOUSEMOVE: OnMouseMove(window, lParam); return TRUE;
    case WM_LBUTTONUP: OnButtonUp(window); return TRUE;
    case WM_RBUTTONUP: OnRightButtonUp(); return TRUE;
    case WM_KEYDOWN: OnKeyDown(window, wParam); return TRUE;
    case WM_TIMER: if (wParam == FollowTimer) OnFollowTimer(window); return TRUE;
  }
  return FALSE;
}

// ---- Lifetime -----------------------------------------------------------------------------------------

void OpenSelectionWindow() {
  Dragging = false;
  Outlined = false;
  HoverShown = false;
  Followed = nullptr;
  SelectionWindow = CreateDialogParamA(Instance, "MyDialog2", MainDialog, SelectionDlgProc, 0);
  // Gives the hidden main dialog time to leave the screen before the snapshot is taken.
  Sleep(100);
  Screen = VirtualScreenRect(GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                             GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
  TakeSnapshot();
  // The template's size is 0 x 0: the window is placed over the virtual screen and shown as it is.
  // Maximised, it would cover a single monitor.
  SetWindowPos(SelectionWindow, nullptr, Screen.left, Screen.top, Screen.right - Screen.left,
               Screen.bottom - Screen.top, SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(SelectionWindow, SW_SHOWNORMAL);
  // The keys go to the selection window; a dialog without controls does not take the focus itself.
  SetForegroundWindow(SelectionWindow);
  SetFocus(SelectionWindow);
}

Rect TakeCaptureArea() {
  LastArea = Area;
  HaveLastArea = true;
  return Area;
}

void CloseSelectionWindow() {
  DestroyWindow(SelectionWindow);
  SelectionWindow = nullptr;
  Dragging = false;
  Outlined = false;
  HoverShown = false;
  Followed = nullptr;
  FreeSnapshot();
}
