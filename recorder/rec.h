// rec: the capture engine. One capture thread per recording records the capture area into a movie
// executable: the player stub from this program's resource "PLAYER"/"DAT", the movie header, one frame
// record per 200 ms tick until StopRequest is raised, then the end record and the trailer.
//
// The dialog thread and the capture thread share StopRequest, FrameCounter and OutputFile without
// locks: each has one writer at a time and is read and written whole. Recordings never overlap:
// StartCapture waits for the previous capture thread to end before it clears the shared state, so
// clearing StopRequest can never cancel the stop of a recording that is still finishing.
#pragma once
#include <windows.h>

#include <atomic>

#include "UTypes.h"

// Filled by the dialog, owned and freed (delete) by the capture thread once read.
struct CaptureRequest {
  Rect Area;                  // screen pixels, right and bottom exclusive; width and height >= 1
  char Title[TitleSize];      // GBK, NUL-terminated; empty gives the untitled title
  char OutputPath[MAX_PATH];  // the movie executable to write
};

extern std::atomic<bool> StopRequest;       // dialog: true to end the recording
extern std::atomic<int32_t> FrameCounter;   // capture thread: frame records written
extern std::atomic<bool> CaptureFailed;     // capture thread: the output file could not be created
                                            // or a write failed; nothing more is captured, and at
                                            // the stop the cut-off file is closed unfinished
extern HANDLE OutputFile;

DWORD WINAPI CaptureThread(LPVOID request);

// Current size of OutputFile (low 32 bits), or -1 when it cannot be read.
int32_t OutputFileSize();

// One WriteFile to OutputFile: the bytes written, or -1 on failure.
int32_t WriteOutput(const void* data, uint32_t count);

// Waits for the previous recording to end, clears StopRequest, FrameCounter and CaptureFailed and
// starts CaptureThread with the request. False for an area without width or height (or larger than a
// player takes) and when the thread could not be created: the request is then freed and nothing is
// recording. The previous recording must have been stopped, or the wait does not end.
bool StartCapture(CaptureRequest* request);

// Waits until the last capture thread has written its end record and trailer and ended.
void WaitForCapture();
