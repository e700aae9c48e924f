// Player window: the program entry, the one top-level window, its painting (picture, recorded cursor,
// time overlay), keys and the right-click menu as commands, scroll bars, and the playback speed, which
// is nothing but the period of the playback timer.
#include "Player.h"

#include "Func.h"
#include "Texts.h"

HWND PlayerWindow;
HMENU PopupMenu;
uint8_t ShowTime = 1;
int32_t ScrollX, ScrollY;

// Without a movie there is nothing to play, pause, speed up or jump in.
static bool HaveMovie() { return FramePixels != nullptr; }

void SetCaption(HWND window, const char* suffix) {
  char caption[TitleSize + 8];
  lstrcpyA(caption, MovieTitle);  // the reader keeps the title NUL-terminated within its 128 bytes
  lstrcatA(caption, suffix);
  SetWindowTextA(window, caption);
}

// ---- Painting -------------------------------------------------------------------------------------

void DrawTimeOverlay(HDC dc) {
  if (!ShowTime || PlayState == Ended) return;
  SetTextColor(dc, PlayState == Paused ? RGB(255, 0, 0) : RGB(0, 255, 255));
  SetBkMode(dc, TRANSPARENT);
  char text[PlayTimeTextSize];
  // Products taken unsigned: a damaged trailer's huge FrameCount wraps instead of overflowing.
  FormatPlayTime(text, (int32_t)((uint32_t)CurrentFrame * FramePeriodMs),
                 (int32_t)((uint32_t)FrameCount * FramePeriodMs));
  RECT client;
  GetClientRect(PlayerWindow, &client);
  DrawTextA(dc, text, -1, &client, DT_RIGHT | DT_SINGLELINE);
}

// Picture, then the recorded cursor over it, then the overlay over both; the background is never
// erased, so the picture is drawn straight over the previous one without flicker.
static void OnPaint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  const RECT& r = ps.rcPaint;
  if (HaveMovie()) {
    // The source y of SetDIBitsToDevice counts from the bottom of the picture, also for a top-down DIB.
    SetDIBitsToDevice(dc, r.left, r.top, (DWORD)(r.right - r.left), (DWORD)(r.bottom - r.top),
                      r.left + ScrollX, FrameHeight - (r.bottom + ScrollY), 0, (UINT)FrameHeight,
                      FramePixels, FrameInfo, DIB_RGB_COLORS);
    // Only buttons 0, 1 and 2 have a cursor image; a damaged record with another value shows none.
    if (LastHeader.Button < 3)
      DrawIcon(dc, LastHeader.CursorX - ScrollX, LastHeader.CursorY - ScrollY,
               ButtonCursors[LastHeader.Button]);
    DrawStepRings(dc, ScrollX, ScrollY);
  }
  DrawTimeOverlay(dc);
  EndPaint(window, &ps);
}

// ---- Commands -------------------------------------------------------------------------------------

static void SetSpeed(HWND window, UINT period, const char* suffix) {
  if (PlayState != Playing) return;  // speeds apply to a running movie only
  SetTimer(window, PlaybackTimer, period, nullptr);  // same id: replaces the period
  SetCaption(window, suffix);
  FollowSound(period == NormalPeriod);  // slow and fast are silent
}

void Pause(HWND window) {
  KillTimer(window, PlaybackTimer);
  PlayState = Paused;
  HoldSound();
  SetCaption(window, "-PAUSE");
  InvalidateRect(window, nullptr, FALSE);  // the overlay turns red at once
}

static void TogglePlay(HWND window) {
  if (PlayState == Playing) {
    Pause(window);
  } else {
    // Resuming always returns to normal speed; from the end, the reader has already rewound.
    SetTimer(window, PlaybackTimer, NormalPeriod, nullptr);
    PlayState = Playing;
    SetCaption(window, "");
    FollowSound(true);
  }
}

static bool MenuChecked(UINT command) {
  return (GetMenuState(PopupMenu, command, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

static void OnCommand(HWND window, WORD command) {
  switch (command) {
    case CmdPlayPause:
      if (HaveMovie()) TogglePlay(window);
      break;
    case CmdLoop:
      CheckMenuItem(PopupMenu, CmdLoop, MF_BYCOMMAND | (MenuChecked(CmdLoop) ? MF_UNCHECKED : MF_CHECKED));
      break;
    case CmdShowTime:
      ShowTime = !MenuChecked(CmdShowTime);
      CheckMenuItem(PopupMenu, CmdShowTime, MF_BYCOMMAND | (ShowTime ? MF_CHECKED : MF_UNCHECKED));
      InvalidateRect(window, nullptr, FALSE);
      break;
    case CmdGoTo:
      if (HaveMovie()) DialogBoxParamA(GetModuleHandleA(nullptr), "JumpDialog", window, JumpDlgProc, 0);
      break;
    case CmdSlower:
      if (HaveMovie()) SetSpeed(window, SlowPeriod, "-SLOW");
      break;
    case CmdNormal:
      if (HaveMovie()) SetSpeed(window, NormalPeriod, "");
      break;
    case CmdFaster:
      if (HaveMovie()) SetSpeed(window, FastPeriod, "-FAST");
      break;
    case CmdExit:
      DestroyWindow(window);
      break;
    case CmdNextStep:
    case CmdPreviousStep:
      GoToStep(window, command);
      break;
  }
}

// Keys go through WM_COMMAND so that a key and its menu item run the same code.
static void OnKeyDown(HWND window, WPARAM key) {
  WORD command;
  switch (key) {
    case VK_ESCAPE: command = CmdExit; break;
    case VK_SPACE: command = CmdPlayPause; break;
    case VK_LEFT: command = CmdSlower; break;
    case VK_UP:
    case VK_DOWN: command = CmdNormal; break;
    case VK_RIGHT: command = CmdFaster; break;
    case VK_NEXT: command = CmdNextStep; break;
    case VK_PRIOR: command = CmdPreviousStep; break;
    default: return;
  }
  SendMessageA(window, WM_COMMAND, command, 0);
}

static void OnRightButtonUp(HWND window, LPARAM lParam) {
  // Client coordinates are signed 16-bit values (GET_X_LPARAM); the menu opens at the pointer.
  POINT at = {(short)LOWORD(lParam), (short)HIWORD(lParam)};
  ClientToScreen(window, &at);
  TrackPopupMenu(PopupMenu, TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
}

// ---- Scrolling ------------------------------------------------------------------------------------

// A bar's range is the picture, its page the client area; the system hides a bar whose page covers
// the range and keeps the position within 0 ... range - page, so the offsets are read back from it.
static void OnSize(HWND window, WPARAM kind, LPARAM lParam) {
  bool maximised = kind == SIZE_MAXIMIZED;  // a maximised window shows the picture from its corner
  SCROLLINFO bar = {sizeof bar, SIF_RANGE | SIF_PAGE, 0, maximised ? 0 : FrameHeight - 1, HIWORD(lParam)};
  SetScrollInfo(window, SB_VERT, &bar, TRUE);
  bar.nMax = maximised ? 0 : FrameWidth - 1;
  bar.nPage = LOWORD(lParam);
  SetScrollInfo(window, SB_HORZ, &bar, TRUE);
  bar.fMask = SIF_ALL;
  GetScrollInfo(window, SB_VERT, &bar);
  ScrollY = bar.nPos;
  GetScrollInfo(window, SB_HORZ, &bar);
  ScrollX = bar.nPos;
  InvalidateRect(window, nullptr, FALSE);
}

// One request on one bar: a line is 1 frame pixel, a page 10; a thumb drag follows the thumb. Other
// requests (top, bottom, end of scrolling) keep the position but still resynchronise and repaint.
static void OnScroll(HWND window, int which, int32_t* offset, WPARAM wParam) {
  SCROLLINFO bar = {sizeof bar, SIF_ALL};
  GetScrollInfo(window, which, &bar);
  int position = bar.nPos;
  switch (LOWORD(wParam)) {
    case SB_LINEUP: position -= 1; break;
    case SB_LINEDOWN: position += 1; break;
    case SB_PAGEUP: position -= 10; break;
    case SB_PAGEDOWN: position += 10; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: position = HIWORD(wParam); break;  // unsigned on purpose: positions are >= 0
  }
  bar.fMask = SIF_POS;
  bar.nPos = position;
  *offset = SetScrollInfo(window, which, &bar, TRUE);  // the position as the system limited it
  InvalidateRect(window, nullptr, FALSE);
}

// ---- Window procedure and entry -------------------------------------------------------------------

static LRESULT CALLBACK PlayerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: OpenMovie(window); return 0;
    case WM_DESTROY:
      CloseMovie(window);
      DestroyMenu(PopupMenu);
      PostQuitMessage(0);
      return 0;
    case WM_SIZE: OnSize(window, wParam, lParam); return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_ERASEBKGND: return 0;
    case WM_GETMINMAXINFO:
      ((MINMAXINFO*)lParam)->ptMaxTrackSize.x = MaxWindowWidth;
      ((MINMAXINFO*)lParam)->ptMaxTrackSize.y = MaxWindowHeight;
      return 0;
    case WM_KEYDOWN: OnKeyDown(window, wParam); return 0;
    case WM_COMMAND: OnCommand(window, LOWORD(wParam)); return 0;
    case WM_TIMER: PlaybackTick(window); return 0;
    case WM_HSCROLL: OnScroll(window, SB_HORZ, &ScrollX, wParam); return 0;
    case WM_VSCROLL: OnScroll(window, SB_VERT, &ScrollY, wParam); return 0;
    case WM_LBUTTONDOWN: SendMessageA(window, WM_COMMAND, CmdPlayPause, 0); return 0;
    case WM_RBUTTONUP: OnRightButtonUp(window, lParam); return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

static int PlayerMain() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = PlayerWndProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, "MainIcon");
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_MENU + 1);
  wc.lpszClassName = "PlayerWinClass";
  RegisterClassExA(&wc);
  PopupMenu = GetSubMenu(LoadMenuA(instance, "PlayCtrlMenu"), 0);
  PlayerWindow = CreateWindowExA(0, "PlayerWinClass", "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  ShowWindow(PlayerWindow, SW_SHOWNORMAL);
  UpdateWindow(PlayerWindow);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return (int)msg.wParam;
}

// The player's own entry point instead of the C runtime's, which would not fit in the stub.
extern "C" void WINAPI PlayerEntry() { ExitProcess((UINT)PlayerMain()); }
