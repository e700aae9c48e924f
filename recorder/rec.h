// rec: the capture engine. One capture thread per recording records the capture area into a movie
// executable: the player stub from this program's resource "PLAYER"/"DAT", the movie header, one frame
// record per 200 ms tick until StopRequest is raised or the volume runs out of room (none while
// PauseRequest is raised), then the end record and the trailer. When the movie is finished, the
// capture thread posts CaptureDoneMessage with what it wrote.
//
// The dialog thread and the capture thread share StopRequest, PauseRequest, FrameCounter and
// CaptureFailed without locks: each has one writer at a time and is read and written whole; the
// output file is the capture thread's alone. The place of the capture area, which the dialog moves
// while a recording follows a window (MoveCaptureArea), is shared the same way: its corner is one
// 64-bit word, so the capture thread never sees the left of one place with the top of another.
// Recordings never overlap:
// StartCapture waits for the previous capture thread to end before it clears the shared state, so
// clearing StopRequest can never cancel the stop of a recording that is still finishing.
#pragma once
#include <windows.h>

#include <atomic>

#include "UTypes.h"

// Filled by the dialog, owned and freed (delete) by the capture thread once read.
struct CaptureRequest {
  HWND NotifyWindow;          // receives CaptureDoneMessage; none when null
  Rect Area;                  // screen pixels, right and bottom exclusive; width and height >= 1
  char Title[TitleSize];      // GBK, NUL-terminated; empty gives the untitled title
  char OutputPath[MAX_PATH];  // the movie executable to write
  bool TrueColour;            // 24-bit colour rather than 256 colours
  bool Microphone;            // narrate: record the default recording device too (Microphone.h)
};

extern std::atomic<bool> StopRequest;       // dialog: true to end the recording
extern std::atomic<bool> PauseRequest;      // dialog: true while the recording is paused: its ticks
                                            // write no frame records and count none; a stop ends
                                            // a paused recording like a running one
extern std::atomic<int32_t> FrameCounter;   // capture thread: frame records written
extern std::atomic<bool> CaptureFailed;     // capture thread: the output file could not be created
                                            // or a write failed; nothing more is captured, and at
                                            // the stop the cut-off file is closed unfinished

// Why a recording ended.
enum CaptureEnding : uint8_t {
  EndedByStop,       // StopRequest
  EndedDiskFull,     // the volume had no room left for the next frames, the end record and trailer
  EndedFileLimit,    // the file would pass the largest file the volume holds (FAT32: 4 GiB - 1)
};

// What a recording left, once its file is finished (or, when it failed, closed as it was).
struct CaptureResult {
  uint64_t FileSize;  // bytes written: the finished file's size
  int32_t Frames;     // frame records written
  bool Failed;        // the file could not be made or a write failed (CaptureFailed)
  bool Silent;        // sound was asked for, but no device could be opened or none delivered any
  CaptureEnding Ending;
};

// Posted to the request's NotifyWindow when the capture thread has finished the file; lParam is a
// CaptureResult allocated with new, which the receiver deletes.
const UINT CaptureDoneMessage = WM_APP + 20;

DWORD WINAPI CaptureThread(LPVOID request);

// Waits for the previous recording to end, clears StopRequest, PauseRequest, FrameCounter and
// CaptureFailed and starts CaptureThread with the request. False for an area without width or height
// (or larger than a player takes) and when the thread could not be created: the request is then freed
// and nothing is recording. The previous recording must have been stopped, or the wait does not end.
bool StartCapture(CaptureRequest* request);

// Moves the running recording's capture area so that its top-left corner is at (left, top), in screen
// pixels; its size stays. The capture thread takes the new place from its next frame on. StartCapture
// places the area where its request says.
void MoveCaptureArea(int32_t left, int32_t top);

// Waits until the last capture thread has written its end record and trailer and ended.
void WaitForCapture();
