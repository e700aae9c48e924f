// Go-to dialog: shows the frame count and the current frame, and seeks to a typed frame number.
// It runs modally on the window thread, so playback goes on behind it while it is open.
#include "Func.h"
#include "Player.h"
#include "Texts.h"

enum : int { IdTotalLabel = 3000, IdFrameField = 3001, IdJumpButton = 3002 };

// Five characters at most: no five-character text converts to a number that overflows. The field
// takes no more than that, so what the viewer typed is what is read.
const int FrameFieldSize = 6;

static void OnJumpInit(HWND dialog) {
  char text[sizeof TEXT_TOTAL_FRAMES + ShortTextSize];
  lstrcpyA(text, TEXT_TOTAL_FRAMES);
  IntToText(text + sizeof TEXT_TOTAL_FRAMES - 1, FrameCount);
  SetDlgItemTextA(dialog, IdTotalLabel, text);
  IntToText(text, CurrentFrame);
  SendDlgItemMessageA(dialog, IdFrameField, EM_LIMITTEXT, FrameFieldSize - 1, 0);
  SetDlgItemTextA(dialog, IdFrameField, text);
  SetFocus(GetDlgItem(dialog, IdFrameField));
}

// Any number below FrameCount is taken, negative ones too (they return to the start); FrameCount and
// above leave the dialog open with the text as typed.
static void OnJump(HWND dialog) {
  char text[FrameFieldSize];
  GetDlgItemTextA(dialog, IdFrameField, text, FrameFieldSize);
  int32_t n = TextToInt(text);
  if (n >= FrameCount) return;
  SeekToFrame(n);
  // A jump from a step leaves it: a paused movie's caption loses the step.
  if (PlayState == Paused) Pause(PlayerWindow);
  EndDialog(dialog, 0);
  InvalidateRect(PlayerWindow, nullptr, FALSE);
}

INT_PTR CALLBACK JumpDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: OnJumpInit(dialog); return TRUE;
    case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
    case WM_COMMAND:
      // Only a click on the jump button (Enter presses it as the default button). Esc's IDCANCEL is
      // swallowed: the dialog closes by a jump or by its close box.
      if (wParam == MAKEWPARAM(IdJumpButton, BN_CLICKED)) OnJump(dialog);
      return TRUE;
  }
  return FALSE;
}
