// Player: the state and operations shared by the player's units.
//   Reader.cpp  the movie reader: the movie stream in the player's own file, the frame buffer, stepping
//   Player.cpp  the entry, the player window: painting, keys, menu, scrolling, speed
//   Jump.cpp    the go-to dialog
//   Steps.cpp   the steps block: rings at the presses, going from step to step
// Everything runs on the one window thread; the state is module-level and needs no locks.
#pragma once
#include <windows.h>

#include "Movie.h"
#include "Section.h"

// ---- Movie reader (Reader.cpp) --------------------------------------------------------------------

const UINT_PTR PlaybackTimer = 1235;  // window timer on the player window; its period is the speed
const UINT NormalPeriod = FramePeriodMs;
const UINT SlowPeriod = 500;
const UINT FastPeriod = 50;

// The checked reader over the player's own file: header, trailer, last frame header, position.
extern MovieReader Movie;

// The reader's fields under the names the window and the dialog use. They are all 0 until a movie is
// opened, and stay 0 when the file holds none.
inline int32_t& CurrentFrame = Movie.CurrentFrame;            // records applied since the first one
inline const int32_t& FrameWidth = Movie.FrameWidth;
inline const int32_t& FrameHeight = Movie.FrameHeight;
inline const int32_t& FrameCount = Movie.Trailer.FrameCount;
inline const char (&MovieTitle)[TitleSize] = Movie.Trailer.MovieTitle;
inline const FrameHeader& LastHeader = Movie.Record;           // the last frame header read

extern const BITMAPINFO* FrameInfo;   // the movie's BITMAPINFO (32-bit, top-down)
extern uint32_t* FramePixels;         // the frame buffer; null while no movie is open
extern int32_t MaxWindowWidth, MaxWindowHeight;
extern HCURSOR ButtonCursors[3];      // "cur0" no button, "cur1" left, "cur2" right
extern uint8_t PlayState;             // 0 playing, 1 paused, 2 ended

enum : uint8_t { Playing = 0, Paused = 1, Ended = 2 };

// Zero-filled heap memory, or null.
void* Allocate(uint64_t size);
void OpenMovie(HWND window);
void FitWindowToFrame(HWND window, int32_t width, int32_t height);
void SeekToFrame(int32_t n);
void PlaybackTick(HWND window);
void CloseMovie(HWND window);

// ---- Sound (Sound.cpp) -----------------------------------------------------------------------------

extern bool SoundDriving;  // the speaker plays the narration and times the picture

// Finds the movie's sound and opens the speaker; a movie without sound, or no speaker, plays silent.
void OpenSound();

// Plays the sound from the frame shown on (at normal speed, while playing), or silences it; after
// HoldSound, playing goes on where the speaker stopped.
void FollowSound(bool play);
// Stops the speaker where it is, its buffers kept, until FollowSound.
void HoldSound();

// Whether the picture may move on: always without sound; with it, once the speaker has finished the
// shown frame's sound, whose buffer then takes the frame three ahead.
bool SoundFrameDone();

// ---- Player window (Player.cpp) -------------------------------------------------------------------

extern HWND PlayerWindow;
extern HMENU PopupMenu;
extern uint8_t ShowTime;
extern int32_t ScrollX, ScrollY;

enum : WORD {
  CmdPlayPause = 1, CmdLoop = 2, CmdShowTime = 3, CmdGoTo = 4,
  CmdSlower = 5, CmdNormal = 6, CmdFaster = 7, CmdExit = 8, CmdNextStep = 9, CmdPreviousStep = 10,
};

// The caption: MovieTitle directly followed by suffix ("" for the plain title).
void SetCaption(HWND window, const char* suffix);
// Stops the playback timer and holds the sound; the caption says -PAUSE and the overlay turns red.
void Pause(HWND window);
void DrawTimeOverlay(HDC dc);

// ---- Steps (Steps.cpp) ----------------------------------------------------------------------------

// Reads the open movie's steps block, if any, and puts the reader back in front of the first record.
// The block stays in memory until the program ends.
void LoadSteps(const MovieSource* source);
// The rings of the steps pressed less than a second before the frame shown, scrolled by x, y.
void DrawStepRings(HDC dc, int32_t x, int32_t y);
// CmdNextStep or CmdPreviousStep: seeks to that step's frame and pauses there, the step's number and
// description in the caption until the movie goes on.
void GoToStep(HWND window, WORD command);

// ---- Go-to dialog (Jump.cpp) ----------------------------------------------------------------------

INT_PTR CALLBACK JumpDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
