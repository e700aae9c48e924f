// Selection: the capture area is dragged out on a borderless, topmost window over the whole virtual
// screen, every monitor included.
//
// The window shows a snapshot of the virtual screen taken as it opens: on a desktop whose windows the system
// composes, a window that paints nothing shows no screen behind it, and under Wine it shows black.
// The rubber band is drawn in R2_NOTXORPEN over that picture, so drawing the same rectangle twice
// takes it off again. Once a rectangle is taken the window is cut down by a region to the one-pixel
// ring along its edge, drawn dotted red; the inside of the ring is the capture area and, being outside
// the window, stays free for the user to work in while the recording runs. Drawing and regions are in
// the window's client coordinates; the capture area goes to StartRecording in screen coordinates.
#include <windows.h>

#include "Func.h"
#include "Tavrel.h"

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

// A selection this narrow has no inside once the ring is taken off: nothing to record.
const int32_t MinSelectionSide = 3;

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

// ---- Mouse --------------------------------------------------------------------------------------------

// Mouse positions are read as unsigned 16-bit words: they are client coordinates of a window that
// starts at the virtual screen's top-left corner, never negative even where screen coordinates are.
static void OnButtonDown(LPARAM lParam) {
  if (Recording || Outlined) return;
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
  }
  if (!Recording) SetCursor(LoadCursorA(Instance, "SELECTCUR"));
}

// The release point itself is not used: the moving corner is the one of the last mouse move.
static void OnButtonUp(HWND window) {
  if (!Dragging || Recording) return;
  Dragging = false;
  NormaliseRect(&Current);
  if (Current.right - Current.left < MinSelectionSide || Current.bottom - Current.top < MinSelectionSide) {
    DrawRubberBand(window, &Drawn);  // the band off; the next press starts a new rectangle
    return;
  }
  Outlined = true;
  SetFrameRegion(window, &Current);
  DrawAreaOutline(window, &Drawn);  // Rectangle orders the corners itself: it falls on the ring
  FreeSnapshot();
  Rect area = SelectionToScreen(&Current, &Screen);
  // Runs the save dialog; on a cancel the window is destroyed before this returns, so nothing
  // touches it afterwards.
  StartRecording(&area);
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
    case WM_LBUTTONDOWN: OnButtonDown(lParam); return TRUE;
    case WM_MOUSEMOVE: OnMouseMove(window, lParam); return TRUE;
    case WM_LBUTTONUP: OnButtonUp(window); return TRUE;
  }
  return FALSE;
}

// ---- Lifetime -----------------------------------------------------------------------------------------

void OpenSelectionWindow() {
  Dragging = false;
  Outlined = false;
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
}

void CloseSelectionWindow() {
  DestroyWindow(SelectionWindow);
  SelectionWindow = nullptr;
  Dragging = false;
  Outlined = false;
  FreeSnapshot();
}
