// keys X Y: a window captioned "keys" at screen position (X, Y), its client area filling it, with two
// edit fields: a plain one at client (FieldLeft, PlainTop) and a password field (ES_PASSWORD) at
// (FieldLeft, PasswordTop), each FieldWidth x FieldHeight pixels. The keys test types into both
// during a recording. The window stays when it is asked to close (Alt+F4 is one of the keys pressed).
//
// Below the fields, from client row StripTop down, a strip counts the key presses (repeats aside)
// of any key: a low-level keyboard hook repaints it at once in colour StripColour(presses), so that
// the first frame recorded after a press is the first to show the new colour.
//
// A right press anywhere in the window keeps it busy for BusyMs, as a program that is slow to answer:
// what the user does meanwhile it takes in when it is done, a click into a field included.
#include <windows.h>

#include <stdlib.h>

const int WindowWidth = 300, WindowHeight = 140;
const int FieldLeft = 10, FieldWidth = 200, FieldHeight = 24, PlainTop = 10, PasswordTop = 50;
const int StripTop = 90;
const DWORD BusyMs = 1500;

static HWND Window;
static int Presses;
static bool Down[256];

// Exact in RGB332 (red in steps of 0x20, blue of 0x40), so a recorded frame keeps it.
static COLORREF StripColour(int presses) { return RGB(0x20 * (presses % 8), 0x40, 0x80); }

static void PaintStrip(HDC dc) {
  RECT strip = {0, StripTop, WindowWidth, WindowHeight};
  HBRUSH brush = CreateSolidBrush(StripColour(Presses));
  FillRect(dc, &strip, brush);
  DeleteObject(brush);
}

static LRESULT CALLBACK KeyboardHook(int code, WPARAM message, LPARAM lParam) {
  const KBDLLHOOKSTRUCT* event = (const KBDLLHOOKSTRUCT*)lParam;
  if (code == HC_ACTION && event->vkCode < 256) {
    bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
    if (down && !Down[event->vkCode]) {
      Presses++;
      HDC dc = GetDC(Window);
      PaintStrip(dc);
      ReleaseDC(Window, dc);
      GdiFlush();
    }
    Down[event->vkCode] = down;
  }
  return CallNextHookEx(nullptr, code, message, lParam);
}

static LRESULT CALLBACK KeysProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE: return 0;
    case WM_RBUTTONDOWN: Sleep(BusyMs); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      PaintStrip(BeginPaint(window, &ps));
      EndPaint(window, &ps);
      return 0;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  int x = __argc > 2 ? atoi(__argv[1]) : 0;
  int y = __argc > 2 ? atoi(__argv[2]) : 0;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = KeysProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  wc.lpszClassName = "TavrelKeys";
  RegisterClassA(&wc);
  Window = CreateWindowExA(0, "TavrelKeys", "keys", WS_POPUP | WS_VISIBLE, x, y, WindowWidth, WindowHeight, nullptr,
                           nullptr, instance, nullptr);
  SetWindowsHookExA(WH_KEYBOARD_LL, KeyboardHook, instance, 0);
  CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, FieldLeft, PlainTop, FieldWidth,
                  FieldHeight, Window, (HMENU)100, instance, nullptr);
  CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL | ES_PASSWORD, FieldLeft,
                  PasswordTop, FieldWidth, FieldHeight, Window, (HMENU)101, instance, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
