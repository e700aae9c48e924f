// Movie reader: the movie stream at the stub length of the player's own file, read one record per
// playback tick through the checked reader of the core (format/Movie.h). The core refuses headers the
// codec cannot play, keeps every payload inside the buffers sized here, and takes a damaged record
// either as the end of the stream or as a frame that changes nothing.
#include "Player.h"

#include "Codec.h"
#include "Texts.h"

MovieReader Movie;
const BITMAPINFO* FrameInfo;
uint32_t* FramePixels;
int32_t MaxWindowWidth, MaxWindowHeight;
HCURSOR ButtonCursors[3];
uint8_t PlayState;

static HANDLE MovieFile = INVALID_HANDLE_VALUE;

// ---- File access: thin wrappers that give the byte count or -1 -------------------------------------

static int32_t ReadMovieFile(void* context, void* buffer, uint32_t count) {
  DWORD done = 0;
  if (!ReadFile(*(HANDLE*)context, buffer, count, &done, nullptr)) return -1;
  return (int32_t)done;
}

static int32_t SeekMovieFile(void* context, uint64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = (LONGLONG)offset;
  return SetFilePointerEx(*(HANDLE*)context, to, nullptr, FILE_BEGIN) ? 0 : -1;
}

// The movie's size, 0 when it cannot be read (then the reader finds no movie).
static uint64_t MovieFileSize() {
  LARGE_INTEGER size;
  return GetFileSizeEx(MovieFile, &size) ? (uint64_t)size.QuadPart : 0;
}

void* Allocate(uint64_t size) {
  if (size > (SIZE_T)-1) return nullptr;
  return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (SIZE_T)size);
}

// The player cannot show the movie without its buffers: it says so before it ends.
static void* AllocateOrExit(HWND window, uint64_t size) {
  void* block = Allocate(size);
  if (!block) {
    MessageBoxA(window, TEXT_NO_MEMORY, MovieTitle, MB_OK | MB_ICONERROR);
    ExitProcess(203);
  }
  return block;
}

// Snapshots for seeking take at most SnapshotBudget bytes and MaxSnapshots slots: at 1920 x 1080 that is
// 32 snapshots of 2 MB of codes, a seek replaying at most 1/32 of the movie; a small frame takes 64
// for far less. Where the memory is not there, fewer snapshots (or none) only make seeks slower.
const uint64_t SnapshotBudget = 64u << 20;
const uint32_t MaxSnapshots = 64;

static void AllocateSnapshots() {
  uint32_t slots = MaxSnapshots;
  while (slots && SnapshotMemorySize(&Movie, slots) > SnapshotBudget) slots--;
  for (; slots; slots /= 2) {
    if (void* memory = Allocate(SnapshotMemorySize(&Movie, slots))) {
      UseSnapshotMemory(&Movie, memory, slots);
      return;
    }
  }
}

// ---- Operations ------------------------------------------------------------------------------------

void OpenMovie(HWND window) {
  char path[261];
  GetModuleFileNameA(nullptr, path, sizeof path);
  MovieFile = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  // A file that cannot be opened fails the reader's first seek, so the reader finds no movie in it.
  MovieSource source = {&MovieFile, ReadMovieFile, SeekMovieFile, MovieFileSize()};
  if (!OpenMovieReader(&Movie, &source)) return;  // no movie: an empty, still window

  // Buffers are zeroed on allocation: the first picture, before any record, is black.
  Movie.FramePixels = FramePixels = (uint32_t*)AllocateOrExit(window, (uint64_t)Movie.PixelCount * 4);
  Movie.Packed = (uint8_t*)AllocateOrExit(window, Movie.PackedSize);
  Movie.RunList = (uint8_t*)AllocateOrExit(window, Movie.RunListSize);
  AllocateSnapshots();
  LoadSteps(&source);
  FrameInfo = (const BITMAPINFO*)&Movie.Header.Info;

  FitWindowToFrame(window, FrameWidth, FrameHeight);
  SetWindowTextA(window, MovieTitle);

  HINSTANCE instance = GetModuleHandleA(nullptr);
  static const char* const names[3] = {"cur0", "cur1", "cur2"};
  for (int i = 0; i < 3; i++) ButtonCursors[i] = LoadCursorA(instance, names[i]);
  SetTimer(window, PlaybackTimer, NormalPeriod, nullptr);
  PlayState = Playing;
  OpenSound();
}

void FitWindowToFrame(HWND window, int32_t width, int32_t height) {
  RECT rect;
  GetWindowRect(window, &rect);
  rect.right = rect.left + width;
  rect.bottom = rect.top + height;
  AdjustWindowRect(&rect, (DWORD)GetWindowLongA(window, GWL_STYLE), FALSE);
  MaxWindowWidth = rect.right - rect.left;
  MaxWindowHeight = rect.bottom - rect.top;
  MoveWindow(window, rect.left, rect.top, MaxWindowWidth, MaxWindowHeight, FALSE);
}

void SeekToFrame(int32_t n) {
  if (!FramePixels) return;
  // The core replays from the nearest snapshot (or the first record), and stops in front of the end
  // record when the stream holds fewer records than the trailer promised.
  SeekMovieReader(&Movie, n);
  FollowSound(SoundDriving);
}

void PlaybackTick(HWND window) {
  if (!SoundFrameDone()) return;
  if (AdvanceMovieReader(&Movie) < 0) {
    // The loop setting lives in the menu's check mark. Only MF_CHECKED is looked at: a menu item that
    // was just chosen may still report MF_HILITE.
    if (!(GetMenuState(PopupMenu, CmdLoop, MF_BYCOMMAND) & MF_CHECKED)) {
      KillTimer(window, PlaybackTimer);
      PlayState = Ended;
      SetCaption(window, "-END");
    }
    RewindMovieReader(&Movie);
    FollowSound(PlayState == Playing && SoundDriving);
  }
  InvalidateRect(window, nullptr, FALSE);
}

void CloseMovie(HWND window) {
  KillTimer(window, PlaybackTimer);
  CloseHandle(MovieFile);
  HANDLE heap = GetProcessHeap();
  HeapFree(heap, 0, Movie.Packed);
  HeapFree(heap, 0, Movie.RunList);
  HeapFree(heap, 0, FramePixels);
  HeapFree(heap, 0, Movie.Snapshots);
  UseSnapshotMemory(&Movie, nullptr, 0);
  Movie.Packed = Movie.RunList = nullptr;
  Movie.FramePixels = FramePixels = nullptr;
}
