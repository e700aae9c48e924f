// Movie reader: the movie stream at the stub length of the player's own file, read one record per
// playback tick through the checked reader of the core (format/Movie.h). The core refuses headers the
// codec cannot play, keeps every payload inside the buffers sized here, and takes a damaged record
// either as the end of the stream or as a frame that changes nothing.
#include "Player.h"

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

static int32_t SeekMovieFile(void* context, uint32_t offset) {
  DWORD at = SetFilePointer(*(HANDLE*)context, (LONG)offset, nullptr, FILE_BEGIN);
  return at == INVALID_SET_FILE_POINTER ? -1 : (int32_t)at;
}

void* AllocateOrExit(uint32_t size) {
  void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
  if (!block) ExitProcess(203);
  return block;
}

// ---- Operations ------------------------------------------------------------------------------------

void OpenMovie(HWND window) {
  char path[261];
  GetModuleFileNameA(nullptr, path, sizeof path);
  MovieFile = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  // A file that cannot be opened fails the reader's first seek, so the reader finds no movie in it.
  MovieSource source = {&MovieFile, ReadMovieFile, SeekMovieFile, GetFileSize(MovieFile, nullptr)};
  if (!OpenMovieReader(&Movie, &source)) return;  // no movie: an empty, still window

  // Buffers are zeroed on allocation: the first picture, before any record, is black.
  Movie.FramePixels = FramePixels = (uint32_t*)AllocateOrExit(Movie.PixelCount * 4);
  Movie.Packed = (uint8_t*)AllocateOrExit(Movie.PackedSize);
  Movie.RunList = (uint8_t*)AllocateOrExit(Movie.RunListSize);
  FrameInfo = (const BITMAPINFO*)&Movie.Header.Info;

  FitWindowToFrame(window, FrameWidth, FrameHeight);
  SetWindowTextA(window, MovieTitle);

  HINSTANCE instance = GetModuleHandleA(nullptr);
  static const char* const names[3] = {"cur0", "cur1", "cur2"};
  for (int i = 0; i < 3; i++) ButtonCursors[i] = LoadCursorA(instance, names[i]);
  SetTimer(window, PlaybackTimer, NormalPeriod, nullptr);
  PlayState = Playing;
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

int32_t ReadFrameRecord() { return ReadNextRecord(&Movie); }

void SeekToFrame(int32_t n) {
  if (!FramePixels) return;
  // The core replays from the first record when n lies behind, and stops in front of the end record
  // when the stream holds fewer records than the trailer promised.
  SeekMovieReader(&Movie, n);
}

void PlaybackTick(HWND window) {
  CurrentFrame++;
  if (ReadFrameRecord() < 0) {
    // The loop setting lives in the menu's check mark. Only MF_CHECKED is looked at: a menu item that
    // was just chosen may still report MF_HILITE.
    if (!(GetMenuState(PopupMenu, CmdLoop, MF_BYCOMMAND) & MF_CHECKED)) {
      KillTimer(window, PlaybackTimer);
      PlayState = Ended;
      SetCaption(window, "-END");
    }
    RewindMovieReader(&Movie);
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
  Movie.Packed = Movie.RunList = nullptr;
  Movie.FramePixels = FramePixels = nullptr;
}
