// Tavrel: the recorder's user interface, shared between the main dialog (Tavrel.cpp) and the
// selection window (Selection.cpp). Everything here runs on the user-interface thread; the capture
// thread (rec) touches none of it.
#pragma once
#include <windows.h>

#include "UTypes.h"

static_assert(sizeof(Rect) == sizeof(RECT), "Rect and RECT share one layout");

extern HINSTANCE Instance;  // the recorder's module: its dialogs, icon, cursor and player resource
extern HWND MainDialog;     // the modeless main dialog "MyDialog"
extern bool Recording;      // a recording counts down or its capture thread runs, and has not been
                            // asked to stop

// ---- Main dialog and recording control (Tavrel.cpp) -----------------------------------------------

int RecorderMain();
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Runs the save dialog for the capture area (width and height >= 1) and either starts the recording
// (its countdown, or the capture thread when Shift was held as the file was chosen) or brings the
// main dialog back. Returns once the save dialog has been answered.
void StartRecording(const Rect* area);

// The countdown is over: the capture thread starts on the area where it is now.
void BeginCapture();

// Raises the stop request, shows the size and length of the recording and brings the dialog back;
// during the countdown, ends it with no file made and the dialog's fields as they were.
void StopRecording();

// Back to the main dialog from the selection window, recording nothing.
void CancelSelection();

// ---- Area selection (Selection.cpp) ---------------------------------------------------------------

void OpenSelectionWindow();
void CloseSelectionWindow();

// The capture area, in screen coordinates, as the capture starts: where it is now (a followed window
// moves it). It becomes the area that Enter takes in the next selections.
Rect TakeCaptureArea();
INT_PTR CALLBACK SelectionDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The rectangle's outline with a 4-pixel green pen in R2_NOTXORPEN: drawing it twice restores the screen.
void DrawRubberBand(HWND window, const Rect* rect);

// The rectangle's outline as a one-pixel dotted red line.
void DrawAreaOutline(HWND window, const Rect* rect);

// Gives the window the one-pixel ring along the rectangle's edge as its region and leaves the
// rectangle shrunk to the inside of that ring.
void SetFrameRegion(HWND window, Rect* rect);

// ---- Countdown (Countdown.cpp) -------------------------------------------------------------------

// Shows the seconds before the first frame in the middle of the area and calls BeginCapture when they
// have run out.
void StartCountdown(const Rect* area);

// Takes the countdown off the screen, if one runs, without calling BeginCapture.
void EndCountdown();

bool CountingDown();
