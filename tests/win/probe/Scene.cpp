// scene X Y: a borderless window at screen position (X, Y) that animates the picture of
// ScenePicture.h, a bar moving over a checkerboard, one step every PhaseMs milliseconds. The recorder's
// tests record it and recognise every recorded frame as one of its pictures. A right click closes it.
#include <windows.h>

#include <stdlib.h>

#include "ScenePicture.h"

static uint32_t Pixels[SceneWidth * SceneHeight];
static BITMAPINFO Info;
static DWORD StartTicks;

static void Render(int barLeft) {
  for (int y = 0; y < SceneHeight; y++)
    for (int x = 0; x < SceneWidth; x++) Pixels[y * SceneWidth + x] = ScenePixel(x, y, barLeft);
}

// The whole picture goes out in one call, so a capture sees either the old or the new picture.
static void Paint(HDC dc) {
  int phase = (int)((GetTickCount() - StartTicks) / PhaseMs);
  Render(BarLeft(phase));
  SetDIBitsToDevice(dc, 0, 0, SceneWidth, SceneHeight, 0, 0, 0, SceneHeight, Pixels, &Info,
                    DIB_RGB_COLORS);
}

static LRESULT CALLBACK SceneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      Paint(dc);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_TIMER: {
      HDC dc = GetDC(window);
      Paint(dc);
      ReleaseDC(window, dc);
      return 0;
    }
    case WM_RBUTTONDOWN: DestroyWindow(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  int x = __argc > 2 ? atoi(__argv[1]) : 0;
  int y = __argc > 2 ? atoi(__argv[2]) : 0;
  Info.bmiHeader.biSize = sizeof Info.bmiHeader;
  Info.bmiHeader.biWidth = SceneWidth;
  Info.bmiHeader.biHeight = -SceneHeight;  // top-down
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  StartTicks = GetTickCount();

  WNDCLASSA wc = {};
  wc.lpfnWndProc = SceneProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = "TavrelScene";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, "TavrelScene", "scene", WS_POPUP | WS_VISIBLE, x, y,
                                SceneWidth, SceneHeight, nullptr, nullptr, instance, nullptr);
  SetTimer(window, 1, PhaseMs / 2, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
