// steps X Y: a window captioned "steps" at screen position (X, Y), its client area filling it, with
// five push buttons named Alpha, Bravo, Charlie, Delta and Echo in a row. The steps test clicks them
// during a recording; their names must come back in the steps' descriptions. Button i (0 = Alpha) lies at
// client (ButtonLeft + i * ButtonPitch, ButtonTop), ButtonWidth x ButtonHeight pixels.
//
// Below the buttons, from client row StripTop down, a strip counts the presses of any mouse button
// anywhere: a low-level mouse hook repaints it at once in colour StripColour(presses), so that the
// first frame recorded after a press is the first to show the new colour.
#include <windows.h>

#include <stdlib.h>

const int WindowWidth = 470, WindowHeight = 100;
const int ButtonLeft = 10, ButtonPitch = 90, ButtonTop = 20, ButtonWidth = 80, ButtonHeight = 30;
const char* const ButtonNames[] = {"Alpha", "Bravo", "Charlie", "Delta", "Echo"};
const int StripTop = 60;

static HWND Window;
static int Presses;

// Exact in RGB332 (red in steps of 0x20, blue of 0x40), so a recorded frame keeps it.
static COLORREF StripColour(int presses) { return RGB(0x20 * (presses % 8), 0x40, 0x80); }

static void PaintStrip(HDC dc) {
  RECT strip = {0, StripTop, WindowWidth, WindowHeight};
  HBRUSH brush = CreateSolidBrush(StripColour(Presses));
  FillRect(dc, &strip, brush);
  DeleteObject(brush);
}

static LRESULT CALLBACK MouseHook(int code, WPARAM message, LPARAM lParam) {
  if (code == HC_ACTION && (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN)) {
    Presses++;
    HDC dc = GetDC(Window);
    PaintStrip(dc);
    ReleaseDC(Window, dc);
    GdiFlush();
  }
  return CallNextHookEx(nullptr, code, message, lParam);
}

static LRESULT CALLBACK StepsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    PaintStrip(BeginPaint(window, &ps));
    EndPaint(window, &ps);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  int x = __argc > 2 ? atoi(__argv[1]) : 0;
  int y = __argc > 2 ? atoi(__argv[2]) : 0;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = StepsProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  wc.lpszClassName = "TavrelSteps";
  RegisterClassA(&wc);
  HWND window = Window = CreateWindowExA(0, "TavrelSteps", "steps", WS_POPUP | WS_VISIBLE, x, y, WindowWidth,
                                         WindowHeight, nullptr, nullptr, instance, nullptr);
  SetWindowsHookExA(WH_MOUSE_LL, MouseHook, instance, 0);
  for (int i = 0; i < 5; i++)
    CreateWindowExA(0, "BUTTON", ButtonNames[i], WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, ButtonLeft + i * ButtonPitch,
                    ButtonTop, ButtonWidth, ButtonHeight, window, (HMENU)(INT_PTR)(100 + i), instance, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
