// probe: prints what the recorder shows, read from outside as a user would see it, one "key=value"
// line each (texts in UTF-8):
//   dialog=0|1         the main dialog "Tavrel" (class DLGCLASS) exists
//   visible=0|1        it is shown
//   rect=L T R B       its window rectangle; screen=W H
//   focus=ID           control id of the keyboard focus in the recorder's thread (0: none)
//   text3001=...       texts of the controls 3001 to 3009 the dialog has; rect3001=L T R B their screen
//                      rectangles; checked3006=0|1 the state of a radio button or check box: the colour
//                      depth's 3006 ("256 色") and 3007, all keys' 3008, the microphone's 3009
//   window=CLASS|TITLE|L T R B|topmost|region L T R B
//                      every other visible top-level window of the recorder (selection window,
//                      save dialog); region is the bounding box of its window region, or "none"
//   focustext=...      text of the control that has the keyboard focus in the foreground window
//                      (the file name the save dialog proposes)
//   tooltip=...        text of every tooltip shown on the screen, of any program: the notification
//                      icon's tip while the pointer rests on the icon
// Exit code 0 when the dialog was found, 1 otherwise.
#include <windows.h>

#include <commctrl.h>
#include <stdio.h>

static DWORD RecorderProcess;
static HWND Dialog;

// ANSI (the recorder's code page, GBK under the Chinese locale) to UTF-8.
static void PrintText(const char* key, const char* ansi) {
  wchar_t wide[512];
  char utf8[1536];
  int n = MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, 512);
  if (n <= 0) wide[0] = 0;
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr);
  printf("%s=%s\n", key, utf8);
}

static BOOL CALLBACK ListWindow(HWND window, LPARAM) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != RecorderProcess || window == Dialog || !IsWindowVisible(window)) return TRUE;
  char className[64], title[256], line[512];
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  RECT r;
  GetWindowRect(window, &r);
  bool topmost = (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  char region[64] = "none";
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  if (GetWindowRgn(window, rgn) != ERROR) {
    RECT box;
    GetRgnBox(rgn, &box);
    snprintf(region, sizeof region, "%ld %ld %ld %ld", box.left, box.top, box.right, box.bottom);
  }
  DeleteObject(rgn);
  snprintf(line, sizeof line, "%s|%s|%ld %ld %ld %ld|%d|%s", className, title, r.left, r.top, r.right,
           r.bottom, topmost ? 1 : 0, region);
  PrintText("window", line);
  return TRUE;
}

// A tooltip control answers WM_GETTEXT with the text it shows. The notification area belongs to
// another process, so the text is asked for in UTF-16, which the system carries across.
static BOOL CALLBACK ListTooltip(HWND window, LPARAM) {
  char className[64];
  GetClassNameA(window, className, sizeof className);
  if (lstrcmpiA(className, TOOLTIPS_CLASSA) != 0 || !IsWindowVisible(window)) return TRUE;
  wchar_t text[256] = L"";
  char utf8[768];
  SendMessageTimeoutW(window, WM_GETTEXT, 256, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, nullptr);
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  printf("tooltip=%s\n", utf8);
  return TRUE;
}

int main() {
  Dialog = FindWindowA("DLGCLASS", "Tavrel");
  printf("dialog=%d\n", Dialog ? 1 : 0);
  if (!Dialog) return 1;
  DWORD thread = GetWindowThreadProcessId(Dialog, &RecorderProcess);
  printf("visible=%d\n", IsWindowVisible(Dialog) ? 1 : 0);
  RECT r;
  GetWindowRect(Dialog, &r);
  printf("rect=%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
  printf("screen=%d %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  int focus = 0;
  if (GetGUIThreadInfo(thread, &info) && info.hwndFocus) focus = GetDlgCtrlID(info.hwndFocus);
  printf("focus=%d\n", focus);
  for (int id = 3001; id <= 3009; id++) {
    if (!GetDlgItem(Dialog, id)) continue;
    char text[256] = "", key[16];
    GetDlgItemTextA(Dialog, id, text, sizeof text);
    snprintf(key, sizeof key, "text%d", id);
    PrintText(key, text);
    GetWindowRect(GetDlgItem(Dialog, id), &r);
    printf("rect%d=%ld %ld %ld %ld\n", id, r.left, r.top, r.right, r.bottom);
    LONG type = GetWindowLongA(GetDlgItem(Dialog, id), GWL_STYLE) & BS_TYPEMASK;
    if (type == BS_AUTOCHECKBOX || type == BS_AUTORADIOBUTTON)
      printf("checked%d=%d\n", id, IsDlgButtonChecked(Dialog, id) == BST_CHECKED);
  }
  EnumWindows(ListWindow, 0);
  HWND foreground = GetForegroundWindow();
  GUITHREADINFO front = {};
  front.cbSize = sizeof front;
  if (foreground && GetGUIThreadInfo(GetWindowThreadProcessId(foreground, nullptr), &front) &&
      front.hwndFocus) {
    char text[512] = "";
    SendMessageTimeoutA(front.hwndFocus, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 2000,
                        nullptr);
    PrintText("focustext", text);
  }
  EnumWindows(ListTooltip, 0);
  fflush(stdout);
  return 0;
}
