// Countdown: the three seconds between the save dialog and the first frame, so that the movie does not
// open on the recorder's own windows going away. The seconds left are shown in large white digits on
// a dark square in the middle of the capture area, in a window of its own that is layered (see-through
// where the system composes windows) and transparent to the mouse, so the user can keep working
// beneath it. The window is destroyed before the capture thread starts, a frame period before the
// first frame is taken, so no frame ever holds it.
#include <windows.h>

#include "Tavrel.h"

// ---- State --------------------------------------------------------------------------------------------

static HWND CountdownWindow;  // null when no countdown runs
static DWORD StartTicks;      // GetTickCount when the countdown began
static int SecondsShown;      // the digit on the screen

const int CountdownSeconds = 3;
const UINT_PTR CountdownTimer = 1;
// The digit changes within this much of each second, and the capture starts within it of the third.
const UINT CountdownPollMs = 50;
const int SquareSide = 120;   // pixels at 96 dots per inch
const BYTE SquareOpacity = 200;  // of 255: what lies beneath still shows through where windows are composed
const COLORREF SquareColour = RGB(32, 32, 32);
const COLORREF DigitColour = RGB(255, 255, 255);

// ---- Painting -----------------------------------------------------------------------------------------

static void PaintCountdown(HWND window, HDC dc) {
  RECT square;
  GetClientRect(window, &square);
  HBRUSH brush = CreateSolidBrush(SquareColour);
  FillRect(dc, &square, brush);
  DeleteObject(brush);
  // The digit fills most of the square: its cell height is the square's.
  HFONT font = CreateFontA(-(square.bottom * 3 / 4), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, "Tahoma");
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, DigitColour);
  char digit = (char)('0' + SecondsShown);
  DrawTextA(dc, &digit, 1, &square, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, oldFont);
  DeleteObject(font);
}

// ---- Time -----------------------------------------------------------------------------------------------

// The digit follows the clock, not the number of timer messages, which a busy thread may merge.
static void OnTimer(HWND window) {
  DWORD elapsed = GetTickCount() - StartTicks;
  if (elapsed >= CountdownSeconds * 1000u) {
    EndCountdown();
    BeginCapture();
    return;
  }
  int seconds = CountdownSeconds - (int)(elapsed / 1000);
  if (seconds == SecondsShown) return;
  SecondsShown = seconds;
  InvalidateRect(window, nullptr, FALSE);
}

static LRESULT CALLBACK CountdownWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: return 1;  // the paint covers every pixel
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      PaintCountdown(window, dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_TIMER: OnTimer(window); return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// ---- Lifetime -----------------------------------------------------------------------------------------

void StartCountdown(const Rect* area) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = CountdownWndProc;
  wc.hInstance = Instance;
  wc.lpszClassName = "TavrelCountdown";
  RegisterClassA(&wc);  // fails harmlessly from the second countdown on: the class is there
  HDC screen = GetDC(nullptr);
  int side = MulDiv(SquareSide, GetDeviceCaps(screen, LOGPIXELSY), 96);
  ReleaseDC(nullptr, screen);
  // Centred on the area, even when the area is smaller than the square.
  int x = area->left + (area->right - area->left - side) / 2;
  int y = area->top + (area->bottom - area->top - side) / 2;
  // WS_EX_TRANSPARENT with WS_EX_LAYERED lets the mouse through; WS_EX_NOACTIVATE and
  // SW_SHOWNOACTIVATE leave the keyboard with the window the user works in.
  CountdownWindow = CreateWindowExA(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_TOOLWINDOW |
                                        WS_EX_NOACTIVATE,
                                    "TavrelCountdown", "", WS_POPUP, x, y, side, side, nullptr, nullptr,
                                    Instance, nullptr);
  if (!CountdownWindow) {  // no countdown to show: the recording starts at once
    BeginCapture();
    return;
  }
  SetLayeredWindowAttributes(CountdownWindow, 0, SquareOpacity, LWA_ALPHA);
  StartTicks = GetTickCount();
  SecondsShown = CountdownSeconds;
  SetTimer(CountdownWindow, CountdownTimer, CountdownPollMs, nullptr);
  ShowWindow(CountdownWindow, SW_SHOWNOACTIVATE);
  UpdateWindow(CountdownWindow);
}

void EndCountdown() {
  if (CountdownWindow) DestroyWindow(CountdownWindow);  // its timer goes with it
  CountdownWindow = nullptr;
}

bool CountingDown() { return CountdownWindow != nullptr; }
