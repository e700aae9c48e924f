// rec: the capture engine (interface and sharing rules in rec.h).
//
// One recording, in order:
//   set-up    tick event and 200 ms periodic timer, screen format, steps (Steps.h) and keys
//             (KeyHook.h), buffers, cursor hotspot, capture bitmap, player stub, output file, stub
//             and movie header, trailer with the title
//   per tick  stop request? paused? room on the volume (every RoomCheckTicks frames)? the
//             area's place, cursor, buttons, screen copy, encode, frame header + payload, the
//             presses and keys before it stamped with its number (the presses with their place in
//             the area)
//   teardown  end record, steps block (when there were steps), keys block (when there were keys),
//             trailer, close, release the steps and keys, the bitmap and buffers, timer, event; the
//             result posted to the dialog
//
// Before the first frame and then every second, the free space of the output's volume and the largest
// file it holds are checked against what the next second's frames need at their worst plus the end
// record and trailer: a recording that would not fit ends itself as a stop does, with a whole movie.
//
// A failed set-up (no tick event, timer or capture bitmap), file creation or write marks the
// recording as failed (CaptureFailed): nothing more is captured or written, but the thread still
// waits for the stop request like a working recording, so the dialog's stop works the same way (with
// no clock, it polls the request). At the stop a broken file is closed as it is, without end record
// and trailer: finishing it would make a cut-off stream look like a whole movie, while every frame
// record written before the failure stays recoverable with `tavrel-movie repair`.
#include "rec.h"

#include <mmsystem.h>

#include <new>

#include <lzo/lzo1x.h>

#include "Codec.h"
#include "KeyHook.h"
#include "Microphone.h"
#include "Movie.h"
#include "Section.h"
#include "Steps.h"

std::atomic<bool> StopRequest(false);
std::atomic<bool> PauseRequest(false);
std::atomic<int32_t> FrameCounter(0);
std::atomic<bool> CaptureFailed(false);
// The capture area's top-left corner: left in the low 32 bits, top in the high ones. One aligned 64-bit
// word, read and written whole without a lock also in the 32-bit build.
static std::atomic<uint64_t> AreaCorner(0);
static_assert(std::atomic<uint64_t>::is_always_lock_free, "the area's corner is handed over without a lock");

const UINT ExitNoMemory = 203;  // the exit code of a heap allocation that fails
// While the tick event or the timer is missing, the stop request is polled at this interval instead.
const DWORD StopPollMs = 200;
// The room on the volume is checked every this many ticks, and kept for as many frames.
const uint32_t RoomCheckTicks = 5;

// The last capture thread started; kept so that the next recording and the program's exit can wait
// for its end record and trailer.
static HANDLE LastCaptureThread;

// LZO1X-1's work memory (its size grows with the pointer width): used by the capture thread only, and
// only one capture thread runs at a time.
alignas(16) static uint8_t LzoWork[LZO1X_1_MEM_COMPRESS];

// ---- Memory and file access --------------------------------------------------------------------

// Zero-filled heap memory; the recorder cannot do without any of its blocks, so running out ends it.
static void* AllocOrExit(uint32_t size) {
  void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
  if (!block) ExitProcess(ExitNoMemory);
  return block;
}

static void FreeBlock(void* block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

// One WriteFile to the output file (the context is its handle): the bytes written, or -1 on failure.
static int32_t WriteToOutput(void* context, const void* data, uint32_t count) {
  DWORD written = 0;
  if (!WriteFile(*(HANDLE*)context, data, count, &written, nullptr)) return -1;
  return (int32_t)written;
}

// ---- Set-up --------------------------------------------------------------------------------------

// The screen's pixel format as GetDIBits reports it for a bitmap compatible with the screen: the
// first call fills the header, the second (now that biBitCount is known) the colour masks.
static void QueryScreenFormat(BitmapInfo32* format) {
  __builtin_memset(format, 0, sizeof *format);
  format->Header.biSize = sizeof format->Header;
  HDC screen = GetDC(nullptr);
  HBITMAP probe = CreateCompatibleBitmap(screen, 1, 1);
  GetDIBits(screen, probe, 0, 0, nullptr, (BITMAPINFO*)format, DIB_RGB_COLORS);
  GetDIBits(screen, probe, 0, 0, nullptr, (BITMAPINFO*)format, DIB_RGB_COLORS);
  DeleteObject(probe);
  ReleaseDC(nullptr, screen);
  // The codec reads and the player paints 32-bit 0x00RRGGBB pixels. On a screen of another depth
  // the capture bitmap is made 32-bit anyway and BitBlt converts, so the header describes what
  // the frames really hold.
  if (format->Header.biBitCount != 32) {
    format->Header.biBitCount = 32;
    format->Header.biCompression = BI_BITFIELDS;
    format->Masks[0] = 0x00FF0000;
    format->Masks[1] = 0x0000FF00;
    format->Masks[2] = 0x000000FF;
  }
}

// The hotspot of the cursor shape current at the start. With no visible cursor there is no hotspot
// to take, and the cursor position is recorded as it is.
static POINT CursorHotspot() {
  POINT hotspot = {0, 0};
  CURSORINFO cursor = {};
  cursor.cbSize = sizeof cursor;
  if (!GetCursorInfo(&cursor) || !(cursor.flags & CURSOR_SHOWING) || !cursor.hCursor) return hotspot;
  ICONINFO icon;
  if (!GetIconInfo(cursor.hCursor, &icon)) return hotspot;
  hotspot.x = (LONG)icon.xHotspot;
  hotspot.y = (LONG)icon.yHotspot;
  // GetIconInfo hands out copies of the cursor's bitmaps, which the caller owns.
  if (icon.hbmMask) DeleteObject(icon.hbmMask);
  if (icon.hbmColor) DeleteObject(icon.hbmColor);
  return hotspot;
}

// ---- One recording -------------------------------------------------------------------------------

struct Recording {
  HANDLE Tick;             // auto-reset: ticks that fall due during a slow frame merge into one
  MMRESULT Timer;
  BitmapInfo32* Format;    // the screen format, heap block
  Rect Area;
  int32_t Width, Height;
  POINT Hotspot;           // of the cursor shape current at the start
  MovieHeader Header;
  HDC CaptureDC;
  HBITMAP CaptureBitmap;
  HGDIOBJ PreviousBitmap;  // the capture DC's own bitmap, put back before ours is deleted
  uint32_t* Pixels;        // the DIB section's memory: BitBlt lands here and the encoder reads here
  MovieWriter Writer;
  HANDLE File;             // the output file, INVALID_HANDLE_VALUE before it is made and once closed
  char OutputPath[MAX_PATH];
  char OutputFolder[MAX_PATH];  // the output's folder, for its volume's free space
  uint64_t MaxFileSize;    // the largest file the output's volume holds
  uint32_t TicksToCheck;   // ticks until the next look at the room on the volume
  CaptureEnding Ending;
  HWND NotifyWindow;
  bool Microphone;         // sound was asked for
  bool Narrated;           // and went into the movie
};

static void MarkFailed(Recording* rec) {
  rec->Writer.Failed = true;
  CaptureFailed.store(true);
}

static void CreateCaptureBitmap(Recording* rec) {
  HDC screen = GetDC(nullptr);
  rec->CaptureDC = CreateCompatibleDC(screen);
  void* bits = nullptr;
  rec->CaptureBitmap = CreateDIBSection(screen, (BITMAPINFO*)&rec->Header.Info, DIB_RGB_COLORS, &bits,
                                        nullptr, 0);
  rec->Pixels = (uint32_t*)bits;
  if (rec->CaptureBitmap) rec->PreviousBitmap = SelectObject(rec->CaptureDC, rec->CaptureBitmap);
  ReleaseDC(nullptr, screen);
}

// The stub is this program's resource "PLAYER"/"DAT", the player's file as built.
static void CreateOutput(Recording* rec) {
  // Without its clock or its capture bitmap the recording cannot take a single frame: it is failed
  // from the start, and no file is made for it.
  if (!rec->Timer || !rec->Pixels) {
    MarkFailed(rec);
    return;
  }
  HRSRC found = FindResourceA(nullptr, "PLAYER", "DAT");
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const void* stub = loaded ? LockResource(loaded) : nullptr;
  uint32_t stubLength = found ? SizeofResource(nullptr, found) : 0;

  // FILE_SHARE_WRITE only: the movie cannot be opened for reading (and so not played) while it is
  // being written.
  rec->File = CreateFileA(rec->OutputPath, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (rec->File == INVALID_HANDLE_VALUE || !stub || !WriteMovieStart(&rec->Writer, stub, stubLength, &rec->Header))
    MarkFailed(rec);
  if (loaded) FreeResource(loaded);
}

// The output's folder (the path up to its last separator, found character by character: a GBK
// character's second byte can be a backslash) and the largest file its volume holds.
static void FindOutputVolume(Recording* rec) {
  const char* cut = rec->OutputPath;
  for (const char* p = rec->OutputPath; *p; p = CharNextA(p))
    if (*p == '\\' || *p == '/') cut = p + 1;
  uint32_t length = (uint32_t)(cut - rec->OutputPath);
  __builtin_memcpy(rec->OutputFolder, rec->OutputPath, length);
  rec->OutputFolder[length] = 0;
  rec->MaxFileSize = UINT64_MAX;
  wchar_t wideName[MAX_PATH + 1];
  char name[MAX_PATH + 1];
  if (rec->File != INVALID_HANDLE_VALUE &&
      GetVolumeInformationByHandleW(rec->File, nullptr, 0, nullptr, nullptr, nullptr, wideName, MAX_PATH + 1) &&
      WideCharToMultiByte(CP_ACP, 0, wideName, -1, name, sizeof name, nullptr, nullptr))
    rec->MaxFileSize = MaxFileSizeOf(name);
}

// False when the volume has no room left for the frames up to the next check, the end record and
// the trailer; the recording then ends with the reason in Ending. A volume whose free space cannot be
// read is given the benefit of the doubt: a write that fails still marks the recording failed.
static bool RoomLeft(Recording* rec) {
  if (rec->TicksToCheck--) return true;
  rec->TicksToCheck = RoomCheckTicks - 1;
  ULARGE_INTEGER available;
  const char* folder = rec->OutputFolder[0] ? rec->OutputFolder : nullptr;  // null: the current folder
  uint64_t freeBytes = GetDiskFreeSpaceExA(folder, &available, nullptr, nullptr) ? available.QuadPart : UINT64_MAX;
  switch (CheckRecordingRoom(&rec->Writer, RoomCheckTicks, freeBytes, rec->MaxFileSize)) {
    case RoomEnough: return true;
    case RoomDiskFull: rec->Ending = EndedDiskFull; return false;
    case RoomFileLimit: rec->Ending = EndedFileLimit; return false;
  }
  return true;
}

static void SetUp(Recording* rec, CaptureRequest* request) {
  rec->Tick = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  // The timer runs from here on; a tick that falls due during the rest of the set-up waits in the
  // event.
  if (rec->Tick)
    rec->Timer = timeSetEvent(FramePeriodMs, 0, (LPTIMECALLBACK)rec->Tick, 0,
                              TIME_PERIODIC | TIME_CALLBACK_EVENT_SET);

  rec->Format = (BitmapInfo32*)AllocOrExit(sizeof(BitmapInfo32));
  QueryScreenFormat(rec->Format);

  rec->Area = request->Area;
  rec->Width = rec->Area.right - rec->Area.left;
  rec->Height = rec->Area.bottom - rec->Area.top;
  OpenSteps();
  OpenKeys();
  uint32_t n = (uint32_t)rec->Width * (uint32_t)rec->Height;
  MovieWriter* writer = &rec->Writer;
  rec->File = INVALID_HANDLE_VALUE;
  rec->NotifyWindow = request->NotifyWindow;
  writer->Sink.Context = &rec->File;
  writer->Sink.Write = WriteToOutput;
  writer->PixelCount = n;
  // The shadow is all zero: black, where the player starts too. A code per pixel at 256 colours, a
  // colour per pixel at true colour.
  uint32_t pixelBytes = request->TrueColour ? ColourBytes : CodeBytes;
  if (request->TrueColour)
    writer->Colours = (uint32_t*)AllocOrExit(n * 4);
  else
    writer->Shadow = (uint8_t*)AllocOrExit(n);
  writer->RunList = (uint8_t*)AllocOrExit(RunListBufferSize(n, pixelBytes));
  writer->Packed = (uint8_t*)AllocOrExit(PackedBufferSize(n, pixelBytes));
  writer->LzoWork = LzoWork;

  rec->Hotspot = CursorHotspot();

  BuildMovieHeader(&rec->Header, rec->Format, rec->Width, rec->Height,
                   request->TrueColour ? DepthTrueColour : Depth256);
  CreateCaptureBitmap(rec);

  __builtin_memcpy(rec->OutputPath, request->OutputPath, MAX_PATH);
  rec->OutputPath[MAX_PATH - 1] = 0;
  CreateOutput(rec);
  FindOutputVolume(rec);
  rec->Microphone = request->Microphone;
  // Without a device the recording goes on silent, and the result says so.
  if (rec->Microphone && !rec->Writer.Failed) OpenMicrophone(rec->OutputPath);

  BuildMovieTrailer(&writer->Trailer, request->Title);
  delete request;
}

// ---- Per tick ------------------------------------------------------------------------------------

// True at a tick, false once the stop request is raised. Without a tick event or timer the request
// is polled, so a recording whose clock could not be made still ends when it is stopped.
static bool AwaitTick(Recording* rec) {
  if (rec->Timer)
    WaitForSingleObject(rec->Tick, INFINITE);
  else
    Sleep(StopPollMs);
  return !StopRequest.load();
}

static uint8_t SampleButtons() {
  // Any non-zero result counts, not only the "down now" bit: a click that began and ended between
  // two ticks is still reported as pressed since the last query.
  uint8_t button = 0;
  if (GetAsyncKeyState(VK_LBUTTON) != 0) button = 1;
  if (GetAsyncKeyState(VK_RBUTTON) != 0) button = 2;  // the right button wins when both are down
  return button;
}

// The area keeps its size; its place is the dialog's to move (a recording that follows a window).
static void PlaceArea(Recording* rec) {
  uint64_t corner = AreaCorner.load();
  rec->Area.left = (int32_t)(uint32_t)corner;
  rec->Area.top = (int32_t)(uint32_t)(corner >> 32);
  rec->Area.right = rec->Area.left + rec->Width;
  rec->Area.bottom = rec->Area.top + rec->Height;
}

static void CaptureFrame(Recording* rec) {
  PlaceArea(rec);
  POINT cursor = {0, 0};
  GetCursorPos(&cursor);
  // Not clipped: the cursor image may lie partly or wholly outside the area.
  int32_t cursorX = cursor.x - rec->Area.left - rec->Hotspot.x;
  int32_t cursorY = cursor.y - rec->Area.top - rec->Hotspot.y;
  DWORD captured = GetTickCount();  // the hooks' clock: presses up to here belong to this frame
  uint8_t button = SampleButtons();

  // SRCCOPY alone: CAPTUREBLT would also take layered windows and makes the pointer flicker at every
  // copy. The copy never holds the pointer; the player draws its own from the cursor position.
  HDC screen = GetDC(nullptr);
  BitBlt(rec->CaptureDC, 0, 0, rec->Width, rec->Height, screen, rec->Area.left, rec->Area.top, SRCCOPY);
  ReleaseDC(nullptr, screen);
  // BitBlt may still be queued in the GDI batch; the encoder reads the bits directly.
  GdiFlush();

  if (WriteMovieFrame(&rec->Writer, rec->Pixels, button, cursorX, cursorY)) {
    FrameCounter.store(rec->Writer.FrameCount);
    StampSteps(rec->Writer.FrameCount, captured, &rec->Area);
    StampKeys(rec->Writer.FrameCount, captured);
  } else {
    MarkFailed(rec);
  }
}

// ---- Teardown ------------------------------------------------------------------------------------

static void FinishOutput(Recording* rec) {
  // After no frame record the end record keeps the writer's zeroed header: button 0 at 0, 0, which
  // selects a valid cursor image in the player. The steps, the keys and the sound, if any, go between
  // the two; a movie that failed keeps its sound file for the repair.
  MovieWriter* writer = &rec->Writer;
  bool complete = !writer->Failed && WriteMovieEndRecord(writer) && WriteSteps(writer) && WriteKeyPresses(writer);
  rec->Narrated = CloseMicrophone(writer, complete);
  if (!complete || !WriteMovieTrailer(writer)) MarkFailed(rec);
  if (rec->File != INVALID_HANDLE_VALUE) CloseHandle(rec->File);
  rec->File = INVALID_HANDLE_VALUE;
}

// The dialog learns what the finished file holds from here, not from the file while it is written.
static void ReportResult(Recording* rec) {
  if (!rec->NotifyWindow) return;
  CaptureResult* result = new (std::nothrow) CaptureResult{rec->Writer.BytesWritten, rec->Writer.FrameCount,
                                                           rec->Writer.Failed, rec->Microphone && !rec->Narrated,
                                                           rec->Ending};
  if (result && !PostMessageA(rec->NotifyWindow, CaptureDoneMessage, 0, (LPARAM)result)) delete result;
}

static void TearDown(Recording* rec) {
  FinishOutput(rec);
  CloseSteps();
  CloseKeys();
  if (rec->CaptureDC) {
    if (rec->PreviousBitmap) SelectObject(rec->CaptureDC, rec->PreviousBitmap);
    DeleteDC(rec->CaptureDC);
  }
  if (rec->CaptureBitmap) DeleteObject(rec->CaptureBitmap);
  FreeBlock(rec->Format);
  FreeBlock(rec->Writer.Shadow);
  FreeBlock(rec->Writer.Colours);
  FreeBlock(rec->Writer.RunList);
  FreeBlock(rec->Writer.Packed);
  // The timer stops before the event it sets goes away.
  if (rec->Timer) timeKillEvent(rec->Timer);
  if (rec->Tick) CloseHandle(rec->Tick);
}

DWORD WINAPI CaptureThread(LPVOID request) {
  Recording rec = {};
  SetUp(&rec, (CaptureRequest*)request);
  while (AwaitTick(&rec)) {
    // A failed recording keeps waiting for its stop, but captures nothing more. A paused one leaves
    // its ticks out altogether: the first frame after the resume is encoded against the shadow of
    // the last one before the pause, so the movie runs on from there as if no time had passed.
    if (rec.Writer.Failed) continue;
    if (PauseRequest.load()) {
      MicrophonePaused();
      continue;
    }
    if (!RoomLeft(&rec)) break;
    MicrophoneFrame(rec.Writer.FrameCount + 1);  // the device's position as the frame is taken
    CaptureFrame(&rec);
  }
  TearDown(&rec);
  ReportResult(&rec);
  return 0;
}

// ---- Starting and waiting ------------------------------------------------------------------------

bool StartCapture(CaptureRequest* request) {
  // An empty area (a selection one or two pixels across shrinks to nothing) records nothing; an area
  // beyond what a player accepts is refused as well.
  int64_t width = (int64_t)request->Area.right - request->Area.left;
  int64_t height = (int64_t)request->Area.bottom - request->Area.top;
  if (width < 1 || height < 1 || width * height > MaxFramePixels) {
    delete request;
    return false;
  }
  WaitForCapture();
  StopRequest.store(false);
  PauseRequest.store(false);
  FrameCounter.store(0);
  CaptureFailed.store(false);
  MoveCaptureArea(request->Area.left, request->Area.top);
  LastCaptureThread = CreateThread(nullptr, 0, CaptureThread, request, 0, nullptr);
  if (!LastCaptureThread) {
    delete request;
    return false;
  }
  return true;
}

void MoveCaptureArea(int32_t left, int32_t top) {
  AreaCorner.store((uint64_t)(uint32_t)top << 32 | (uint32_t)left);
}

void WaitForCapture() {
  if (!LastCaptureThread) return;
  WaitForSingleObject(LastCaptureThread, INFINITE);
  CloseHandle(LastCaptureThread);
  LastCaptureThread = nullptr;
}
