// Drives the capture engine on a window of known pictures and writes, next to every movie, what the
// movie must show (read by tests/wine/capture/CaptureCheck).
//
//   CaptureTest movies   DIR        four recordings in one process: a full one with pictures, cursor
//                                   moves and buttons; one started right after its stop, with an
//                                   empty title; one with the cursor hidden; one stopped before its
//                                   first tick
//   CaptureTest failures DIR BROKEN SMALL   an output path that cannot be created, a directory in
//                                   place of the file, a file whose writes fail (BROKEN), a file on a
//                                   small volume (SMALL) that the recording must end itself on before
//                                   the volume is full, then a recording that must work again
//
// Every recording's result (CaptureDoneMessage) must match what was written.
//
// The window is a frameless popup, so its client area is the capture area. Every phase sets a
// picture, a cursor position and the mouse buttons, waits until the screen shows the picture and
// then until the engine has written two more frames, so that at least one frame shows the phase
// whole however slow the machine is. The checker allows frames in between to mix a phase with the
// next.
//
// Exit code 0 when the engine behaved; otherwise 1 with the reason on stderr.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Codec.h"
#include "Pictures.h"
#include "rec.h"

const int32_t WindowLeft = 200;
const int32_t WindowTop = 150;
const int32_t HotspotX = 5;  // of the test cursor
const int32_t HotspotY = 7;
const UINT SetPictureMessage = WM_APP + 1;
const UINT ShowCursorMessage = WM_APP + 2;
const DWORD SyncTimeoutMs = 10000;

enum : uint8_t { NoButton, LeftButton = 1, RightButton = 2, BothButtons = 3 };

struct Phase {
  int Picture;
  int32_t CursorX, CursorY;  // relative to the area's top-left corner
  uint8_t Buttons;           // which buttons are held down
};

static HWND Window;
static HCURSOR TestCursor;
static int CurrentPicture;
static uint32_t* PicturePixels;
static Rect Area;
static FILE* Expect;
static HANDLE WindowReady;
static uint8_t HeldButtons;
static CaptureResult LastResult;  // the last CaptureDoneMessage
static HANDLE ResultArrived;      // set when one arrives

static void Fail(const char* what) {
  fprintf(stderr, "FAIL: %s\n", what);
  fflush(stderr);
  ExitProcess(1);
}

// ---- The window ----------------------------------------------------------------------------------

static void FillPicture(int k) {
  CurrentPicture = k;
  for (int32_t y = 0; y < PictureHeight; y++)
    for (int32_t x = 0; x < PictureWidth; x++) PicturePixels[y * PictureWidth + x] = PicturePixel(k, x, y);
}

static void OnPaint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = PictureWidth;
  info.bmiHeader.biHeight = -PictureHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, 0, 0, PictureWidth, PictureHeight, 0, 0, 0, PictureHeight, PicturePixels, &info,
                    DIB_RGB_COLORS);
  EndPaint(window, &ps);
}

static LRESULT CALLBACK TestWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: OnPaint(window); return 0;
    case WM_ERASEBKGND: return 1;
    case SetPictureMessage:
      FillPicture((int)wParam);
      InvalidateRect(window, nullptr, FALSE);
      UpdateWindow(window);
      return 0;
    case ShowCursorMessage: ShowCursor((BOOL)wParam); return 0;
    case CaptureDoneMessage:
      LastResult = *(CaptureResult*)lParam;
      delete (CaptureResult*)lParam;
      SetEvent(ResultArrived);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// The window lives on a thread of its own, so that the main thread can wait for the engine.
static DWORD WINAPI WindowThread(LPVOID) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  // A 32 x 32 cursor with a known hotspot: the engine must subtract it.
  static uint8_t andMask[128], xorMask[128];
  memset(andMask, 0xFF, sizeof andMask);
  TestCursor = CreateCursor(instance, HotspotX, HotspotY, 32, 32, andMask, xorMask);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = TestWndProc;
  wc.hInstance = instance;
  wc.hCursor = TestCursor;
  wc.lpszClassName = "CaptureTestClass";
  RegisterClassA(&wc);
  Window = CreateWindowExA(0, wc.lpszClassName, "CaptureTest", WS_POPUP, WindowLeft, WindowTop, PictureWidth,
                           PictureHeight, nullptr, nullptr, instance, nullptr);
  ShowWindow(Window, SW_SHOW);
  SetForegroundWindow(Window);
  UpdateWindow(Window);
  SetEvent(WindowReady);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

// ---- Waiting for the screen and the engine -------------------------------------------------------

static bool ScreenShows(int k) {
  static uint32_t* grabbed;
  static HDC dc;
  if (!grabbed) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = PictureWidth;
    info.bmiHeader.biHeight = -PictureHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, bitmap);
    grabbed = (uint32_t*)bits;
  }
  HDC screen = GetDC(nullptr);
  BitBlt(dc, 0, 0, PictureWidth, PictureHeight, screen, Area.left, Area.top, SRCCOPY);
  ReleaseDC(nullptr, screen);
  GdiFlush();
  for (int32_t y = 0; y < PictureHeight; y++)
    for (int32_t x = 0; x < PictureWidth; x++)
      if (QuantiseRgb332(grabbed[y * PictureWidth + x]) != QuantiseRgb332(PicturePixel(k, x, y))) return false;
  return true;
}

static void ShowPicture(int k) {
  SendMessageA(Window, SetPictureMessage, (WPARAM)k, 0);
  DWORD start = GetTickCount();
  while (!ScreenShows(k)) {
    if (GetTickCount() - start > SyncTimeoutMs) Fail("the screen never showed the test picture");
    Sleep(10);
  }
}

static void PlaceCursor(int32_t x, int32_t y) {
  SetCursorPos(Area.left + x, Area.top + y);
  DWORD start = GetTickCount();
  for (;;) {
    POINT p;
    GetCursorPos(&p);
    if (p.x == Area.left + x && p.y == Area.top + y) return;
    if (GetTickCount() - start > SyncTimeoutMs) Fail("SetCursorPos did not move the cursor");
    Sleep(10);
  }
}

static void SendButton(DWORD flags) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  SendInput(1, &input, sizeof input);
}

static void HoldButtons(uint8_t buttons) {
  uint8_t changed = buttons ^ HeldButtons;
  if (changed & LeftButton) SendButton(buttons & LeftButton ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
  if (changed & RightButton) SendButton(buttons & RightButton ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP);
  HeldButtons = buttons;
}

static void WaitForFrames(int32_t count) {
  int32_t target = FrameCounter.load() + count;
  DWORD start = GetTickCount();
  while (FrameCounter.load() < target) {
    if (CaptureFailed.load()) Fail("the recording failed");
    if (GetTickCount() - start > SyncTimeoutMs + count * 1000) Fail("the engine stopped writing frames");
    Sleep(10);
  }
}

// Runs WaitForCapture with a limit: a recording that does not end on its stop is an endless capture.
static DWORD WINAPI WaitThread(LPVOID) {
  WaitForCapture();
  return 0;
}

// The result of a recording that has ended must count what the engine counted.
static void CheckResult(CaptureEnding ending, bool failed) {
  if (LastResult.Ending != ending) Fail("the recording reported the wrong ending");
  if (LastResult.Failed != failed || LastResult.Failed != CaptureFailed.load()) Fail("the result's failure is wrong");
  if (LastResult.Frames != FrameCounter.load()) Fail("the result counts other frames than the engine");
}

static void ExpectResult(CaptureEnding ending, bool failed) {
  if (WaitForSingleObject(ResultArrived, SyncTimeoutMs) != WAIT_OBJECT_0) Fail("no result after the recording");
  CheckResult(ending, failed);
}

static void StopAndWait() {
  StopRequest.store(true);
  HANDLE waiter = CreateThread(nullptr, 0, WaitThread, nullptr, 0, nullptr);
  if (WaitForSingleObject(waiter, SyncTimeoutMs) != WAIT_OBJECT_0) Fail("the capture thread did not end on the stop");
  CloseHandle(waiter);
  ExpectResult(EndedByStop, CaptureFailed.load());
}

// ---- Expectations --------------------------------------------------------------------------------

static void OpenExpect(const char* dir, const char* name, const char* title, int32_t hotspotX, int32_t hotspotY) {
  char path[MAX_PATH];
  snprintf(path, sizeof path, "%s\\%s.txt", dir, name);
  Expect = fopen(path, "wb");
  if (!Expect) Fail("cannot write the expectations");
  fprintf(Expect, "area %d %d %d %d\n", (int)Area.left, (int)Area.top, (int)(Area.right - Area.left),
          (int)(Area.bottom - Area.top));
  fprintf(Expect, "hotspot %d %d\ntitle ", (int)hotspotX, (int)hotspotY);
  for (const char* c = title; *c; c++) fprintf(Expect, "%02x", (uint8_t)*c);
  fprintf(Expect, "\n");
  // The screen format as this program sees it, for the checker to compare with the movie header.
  struct {
    BITMAPINFOHEADER Header;
    DWORD Masks[3];
  } format = {};
  format.Header.biSize = sizeof format.Header;
  HDC screen = GetDC(nullptr);
  HBITMAP probe = CreateCompatibleBitmap(screen, 1, 1);
  GetDIBits(screen, probe, 0, 0, nullptr, (BITMAPINFO*)&format, DIB_RGB_COLORS);
  GetDIBits(screen, probe, 0, 0, nullptr, (BITMAPINFO*)&format, DIB_RGB_COLORS);
  DeleteObject(probe);
  ReleaseDC(nullptr, screen);
  fprintf(Expect, "format %u %u %lu %ld %ld %lu %lu %lx %lx %lx\n", format.Header.biPlanes,
          format.Header.biBitCount, format.Header.biCompression, format.Header.biXPelsPerMeter,
          format.Header.biYPelsPerMeter, format.Header.biClrUsed, format.Header.biClrImportant,
          format.Masks[0], format.Masks[1], format.Masks[2]);
}

static void CloseExpect() {
  fclose(Expect);
  Expect = nullptr;
}

static CaptureRequest* NewRequest(const char* dir, const char* name, const char* title) {
  CaptureRequest* request = new CaptureRequest();
  request->NotifyWindow = Window;
  request->Area = Area;
  snprintf(request->Title, sizeof request->Title, "%s", title);
  snprintf(request->OutputPath, sizeof request->OutputPath, "%s\\%s.exe", dir, name);
  return request;
}

static void SetPhase(const Phase& phase) {
  ShowPicture(phase.Picture);
  PlaceCursor(phase.CursorX, phase.CursorY);
  HoldButtons(phase.Buttons);
}

// Runs the phases after the first, which the caller has set before starting the recording.
static void RunPhases(const Phase* phases, int count) {
  for (int i = 0; i < count; i++) {
    uint8_t button = phases[i].Buttons & RightButton ? 2 : phases[i].Buttons & LeftButton ? 1 : 0;
    fprintf(Expect, "phase %d %d %d %u\n", phases[i].Picture, (int)phases[i].CursorX, (int)phases[i].CursorY,
            button);
    if (i > 0) SetPhase(phases[i]);
    WaitForFrames(2);
  }
}

static void WaitForTestCursor(bool shown) {
  DWORD start = GetTickCount();
  for (;;) {
    CURSORINFO info = {};
    info.cbSize = sizeof info;
    GetCursorInfo(&info);
    bool showing = (info.flags & CURSOR_SHOWING) != 0;
    if (shown ? showing && info.hCursor == TestCursor : !showing) return;
    if (GetTickCount() - start > SyncTimeoutMs) Fail(shown ? "the test cursor never became current" : "the cursor never hid");
    Sleep(10);
  }
}

// ---- Scenarios -----------------------------------------------------------------------------------

static void Movies(const char* dir) {
  // 127 bytes: 63 GBK characters "测" and one "x", so the terminator falls on the last byte.
  char longTitle[128];
  for (int i = 0; i < 63; i++) memcpy(longTitle + 2 * i, "\xB2\xE2", 2);
  longTitle[126] = 'x';
  longTitle[127] = 0;

  const int32_t w = PictureWidth, h = PictureHeight;
  const Phase full[] = {
      {PictureBars, 20, 30, NoButton},
      {PictureChecker, 100, 60, LeftButton},
      {PictureChecker, 100, 60, BothButtons},   // nothing on the screen changes
      {PictureSquare, -30, -25, NoButton},      // cursor left of and above the area
      {PictureBlack, w + 10, h + 5, NoButton},  // right of and below it
      {PictureGradient, 5, 5, RightButton},
      {PictureGradient, 5, 5, NoButton},
  };
  SetPhase(full[0]);
  WaitForTestCursor(true);
  OpenExpect(dir, "full", longTitle, HotspotX, HotspotY);
  if (!StartCapture(NewRequest(dir, "full", longTitle))) Fail("StartCapture refused a valid area");
  RunPhases(full, 7);
  CloseExpect();

  // Started right after the stop: StartCapture itself waits for the first recording to finish.
  const Phase next[] = {
      {PictureGradient, 5, 5, NoButton},
      {PictureNoise, 70, 10, NoButton},
      {PictureBars, 70, 10, LeftButton},
  };
  StopRequest.store(true);
  OpenExpect(dir, "next", "", HotspotX, HotspotY);
  if (!StartCapture(NewRequest(dir, "next", ""))) Fail("StartCapture refused the second recording");
  // The first one's result came before its thread ended, which StartCapture waited for.
  if (WaitForSingleObject(ResultArrived, SyncTimeoutMs) != WAIT_OBJECT_0) Fail("no result for the first recording");
  if (StopRequest.load() || FrameCounter.load() != 0) Fail("the new recording did not start clear");
  RunPhases(next, 3);
  CloseExpect();
  StopAndWait();
  HoldButtons(NoButton);

  // With the cursor hidden at the start there is no hotspot.
  const Phase hidden[] = {
      {PictureChecker, 40, 40, NoButton},
      {PictureBars, -3, 2, NoButton},
  };
  SetPhase(hidden[0]);
  SendMessageA(Window, ShowCursorMessage, FALSE, 0);
  WaitForTestCursor(false);
  OpenExpect(dir, "hidden", "hidden cursor", 0, 0);
  if (!StartCapture(NewRequest(dir, "hidden", "hidden cursor"))) Fail("StartCapture refused a valid area");
  RunPhases(hidden, 2);
  CloseExpect();
  StopAndWait();
  SendMessageA(Window, ShowCursorMessage, TRUE, 0);

  // Stopped before the first tick: no frame record at all.
  OpenExpect(dir, "instant", "instant", HotspotX, HotspotY);
  CloseExpect();
  if (!StartCapture(NewRequest(dir, "instant", "instant"))) Fail("StartCapture refused a valid area");
  StopAndWait();
  if (FrameCounter.load() != 0 || CaptureFailed.load()) Fail("the instant recording counted frames or failed");

  // Empty areas never reach the capture thread.
  const Rect empty[] = {{10, 10, 10, 50}, {10, 10, 50, 10}, {10, 10, 5, 50}, {10, 10, 50, -20}};
  for (const Rect& area : empty) {
    CaptureRequest* request = NewRequest(dir, "empty", "");
    request->Area = area;
    if (StartCapture(request)) Fail("StartCapture accepted an empty area");
  }
}

static bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// Starts a recording that must fail, waits for the failure, and stops it.
static void ExpectFailure(CaptureRequest* request) {
  SetPhase({PictureNoise, 10, 10, NoButton});
  if (!StartCapture(request)) Fail("StartCapture refused a valid area");
  DWORD start = GetTickCount();
  for (int i = 0; !CaptureFailed.load(); i++) {
    if (GetTickCount() - start > 4 * SyncTimeoutMs) Fail("no failure was reported");
    Sleep(50);
  }
  // Nothing more is captured once the file is broken, and the stop still ends the thread.
  int32_t frames = FrameCounter.load();
  printf("failed after %d frames\n", (int)frames);
  Sleep(3 * FramePeriodMs);
  if (FrameCounter.load() != frames) Fail("frames were counted after the failure");
  StopAndWait();
  if (!CaptureFailed.load()) Fail("the failure was cleared before the next start");
}

// Records changing frames onto a small volume: the recording must end itself before the volume is
// full, with a whole movie (checked by the script) that says why it ended.
static void ExpectSelfStop(const char* path) {
  CaptureRequest* request = NewRequest("", "", "");
  snprintf(request->OutputPath, MAX_PATH, "%s", path);
  SetPhase({PictureNoise, 10, 10, NoButton});
  if (!StartCapture(request)) Fail("StartCapture refused a valid area");
  DWORD start = GetTickCount();
  for (int i = 0; WaitForSingleObject(ResultArrived, 50) == WAIT_TIMEOUT; i++) {
    if (GetTickCount() - start > 6 * SyncTimeoutMs) Fail("the recording on the small volume did not end itself");
    ShowPicture(i % 2 ? PictureNoise : PictureNoise2);
  }
  CheckResult(EndedDiskFull, false);
  printf("ended itself after %d frames, %llu bytes\n", (int)LastResult.Frames, (unsigned long long)LastResult.FileSize);
  if (LastResult.Frames < 2) Fail("the small volume took fewer frames than it has room for");
  WaitForCapture();
}

static void Failures(const char* dir, const char* brokenPath, const char* smallPath) {
  char path[MAX_PATH];
  CaptureRequest* request = NewRequest(dir, "x", "");
  snprintf(request->OutputPath, MAX_PATH, "%s\\missing\\x.exe", dir);
  ExpectFailure(request);
  snprintf(path, sizeof path, "%s\\missing", dir);
  if (FileExists(path)) Fail("a folder was created for the output");

  request = NewRequest(dir, "folder", "");
  ExpectFailure(request);
  snprintf(path, sizeof path, "%s\\folder.exe", dir);
  if (GetFileAttributesA(path) != FILE_ATTRIBUTE_DIRECTORY) Fail("the folder in place of the file was changed");

  request = NewRequest(dir, "broken", "");
  snprintf(request->OutputPath, MAX_PATH, "%s", brokenPath);
  ExpectFailure(request);

  ExpectSelfStop(smallPath);

  // The next recording starts clear and works.
  SetPhase({PictureBars, 10, 10, NoButton});
  WaitForTestCursor(true);
  OpenExpect(dir, "after", "after", HotspotX, HotspotY);
  if (!StartCapture(NewRequest(dir, "after", "after"))) Fail("StartCapture refused a valid area");
  if (CaptureFailed.load()) Fail("the failure of the last recording was not cleared");
  const Phase after[] = {{PictureBars, 10, 10, NoButton}};
  RunPhases(after, 1);
  CloseExpect();
  StopAndWait();
  if (CaptureFailed.load()) Fail("a working recording was reported as failed");
}

int main(int argc, char** argv) {
  if (argc < 3 || (strcmp(argv[1], "failures") == 0 && argc < 5)) {
    fprintf(stderr, "usage: CaptureTest movies DIR | failures DIR BROKENPATH SMALLPATH\n");
    return 2;
  }
  PicturePixels = new uint32_t[PictureWidth * PictureHeight];
  FillPicture(PictureBars);
  WindowReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ResultArrived = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  CreateThread(nullptr, 0, WindowThread, nullptr, 0, nullptr);
  WaitForSingleObject(WindowReady, INFINITE);
  POINT origin = {0, 0};
  ClientToScreen(Window, &origin);
  Area = {origin.x, origin.y, origin.x + PictureWidth, origin.y + PictureHeight};

  if (strcmp(argv[1], "movies") == 0)
    Movies(argv[2]);
  else if (strcmp(argv[1], "failures") == 0)
    Failures(argv[2], argv[3], argv[4]);
  else
    Fail("unknown scenario");
  ExitProcess(0);
}
