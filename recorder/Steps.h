// Steps: every press of the left, right or middle mouse button during a recording, kept with the frame
// it belongs to and a description of what was pressed, and written into the movie's steps block
// (format/Section.h) when the recording ends.
//
// Three parties share the steps of the running recording, under one lock:
//   - the low-level mouse hook on the interface thread takes each press (time, place, button, double)
//     and returns at once, posting StepMessage to the main dialog;
//   - the interface thread answers StepMessage with DescribeStep, which asks Active Accessibility
//     what lies under the press (that may take a while, and may dispatch other messages meanwhile);
//     a press on Tavrel's own selection outline or notification icon is dropped instead;
//   - the capture thread opens the steps at its set-up, gives each press the first frame captured
//     after it, and at the end writes the steps block between the end record and the trailer.
// The steps live in one buffer allocated at the capture thread's set-up; presses past its MaxSteps
// entries are not recorded.
#pragma once
#include <windows.h>

#include "Movie.h"

// Posted by the hook to the window given to StartStepHook: wParam is the step's index, lParam the
// recording's serial number (a message left over from an earlier recording is ignored).
const UINT StepMessage = WM_APP + 21;

// At most this many steps in a recording; a long tutorial clicks every few seconds for an hour.
const uint32_t MaxSteps = 2000;

// ---- Interface thread -------------------------------------------------------------------------------

// The hook runs while a recording runs, paused or not; presses while paused are not steps.
void StartStepHook(HWND notify);
void StopStepHook();

// Answers StepMessage: describes the step, or drops it when it was a press on one of Tavrel's windows.
void DescribeStep(WPARAM index, LPARAM serial);

// The notification icon reported a press of this button (WM_LBUTTONDOWN, WM_RBUTTONDOWN or
// WM_MBUTTONDOWN): the hook has taken it as the latest step, which it is not.
void DropIconStep(UINT buttonMessage);

// ---- Capture thread ---------------------------------------------------------------------------------

// Takes presses from here on.
void OpenSteps();

// Frame number frame (1 = the first) was captured at GetTickCount time captured, of the capture area
// area (screen pixels), which may move while a recording follows a window: it is the frame of every
// press up to that time that has none yet, and their place is taken in that area.
void StampSteps(int32_t frame, DWORD captured, const Rect* area);

// Writes the steps block when any press has a frame, after WriteMovieEndRecord. A description that is
// still being made is waited for, a little: past that the step says only what was pressed.
bool WriteSteps(MovieWriter* writer);

// Takes no more presses and frees the buffer.
void CloseSteps();
