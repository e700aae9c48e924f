// hotkeyholder VK X Y: another program that wants Ctrl+Shift+VK (a virtual-key code in decimal) for
// itself. It registers the hotkey at its start and shows a small window at screen (X, Y) whose
// caption says how that went:
//   "hotkey VK held N"   RegisterHotKey succeeded; N presses of the hotkey have arrived since
//   "hotkey VK refused"  another program holds the hotkey
// The recorder's tests start it before a recording (the recorder must then do without that key) and
// after one (the recorder must have given its keys back).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

static UINT Key;
static bool Held;
static int Presses;

static void ShowState(HWND window) {
  char caption[64];
  if (Held)
    snprintf(caption, sizeof caption, "hotkey %u held %d", Key, Presses);
  else
    snprintf(caption, sizeof caption, "hotkey %u refused", Key);
  SetWindowTextA(window, caption);
}

static LRESULT CALLBACK HolderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_HOTKEY: Presses++; ShowState(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  Key = __argc > 1 ? (UINT)atoi(__argv[1]) : VK_F10;
  int x = __argc > 3 ? atoi(__argv[2]) : 0;
  int y = __argc > 3 ? atoi(__argv[3]) : 0;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = HolderProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  wc.lpszClassName = "TavrelHotkeyHolder";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, "TavrelHotkeyHolder", "", WS_POPUP | WS_BORDER, x, y, 160, 40, nullptr,
                                nullptr, instance, nullptr);
  Held = RegisterHotKey(window, 1, MOD_CONTROL | MOD_SHIFT, Key) != 0;
  ShowState(window);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
