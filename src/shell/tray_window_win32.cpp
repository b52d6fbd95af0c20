// The tray window procedure: tray icon and its menu, the commands, the About
// box and the tick timer.
#include "shell/tray_window_win32.h"

#include "output/report_link.h"
#include "shell/launcher_win32.h"
#include "shell/program_win32.h"
#include "shell/resources/resource_ids.h"
#include "shell/settings_dialog_win32.h"
#include "shell/tick_period.h"
#include "shell/timer_tick.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstring>
#include <memory>
#include <type_traits>

namespace {

UINT taskbarCreatedMessage = 0;

struct MenuDestroyer {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using MenuHandle = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDestroyer>;

// The first form of the notify-icon record (88 bytes), which every shell
// understands: owner, id 0, callback message, icon and tip.
NOTIFYICONDATAA trayIconRecord(HWND window) {
  NOTIFYICONDATAA record = {};
  record.cbSize = NOTIFYICONDATAA_V1_SIZE;
  record.hWnd = window;
  record.uID = 0;
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record.uCallbackMessage = kTrayCallbackMessage;
  record.hIcon =
      static_cast<HICON>(LoadImageA(appInstance(), MAKEINTRESOURCEA(IDI_TARNBECK), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  std::strncpy(record.szTip, "Tarnbeck", sizeof(record.szTip) - 1);
  return record;
}

VOID CALLBACK tickTimerProc(HWND, UINT, UINT_PTR, DWORD) { onTimerTick(); }

INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

void showTrayMenu(HWND window) {
  MenuHandle menu(LoadMenuA(appInstance(), MAKEINTRESOURCEA(IDR_TRAY_MENU)));
  HMENU popup = menu ? GetSubMenu(menu.get(), 0) : nullptr;
  if (popup == nullptr) return;
  POINT cursor = {};
  GetCursorPos(&cursor);
  // Without the foreground the menu would not close when the user clicks
  // elsewhere.
  SetForegroundWindow(window);
  TrackPopupMenu(popup, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window, nullptr);
  PostMessageA(window, WM_NULL, 0, 0);
}

// Returns true when the window is gone and must not be used any more.
bool runCommand(HWND window, WPARAM wParam) {
  switch (LOWORD(wParam)) {
    case IDM_SETTINGS:
      showSettingsDialog(window);
      return false;
    case IDM_ABOUT:
      DialogBoxParamA(appInstance(), MAKEINTRESOURCEA(IDD_ABOUT), nullptr, aboutProc, 0);
      return false;
    case IDM_CLOSE:
      removeTrayIcon(window);
      DestroyWindow(window);
      return true;
    case IDM_START_LFS:
      // Only from the menu: accelerators and controls never start the game.
      if (HIWORD(wParam) == 0) launchSimulator(window);
      return false;
    case IDM_LFS_REPORT:
      ShellExecuteA(window, "open", kReportSiteAddress, nullptr, nullptr, SW_SHOW);
      return false;
    default:
      return false;
  }
}

}  // namespace

bool addTrayIcon(HWND window) {
  NOTIFYICONDATAA record = trayIconRecord(window);
  return Shell_NotifyIconA(NIM_ADD, &record) != FALSE;
}

void removeTrayIcon(HWND window) {
  NOTIFYICONDATAA record = trayIconRecord(window);
  Shell_NotifyIconA(NIM_DELETE, &record);
}

LRESULT CALLBACK trayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
      SetTimer(window, kTickTimerId, tickPeriodMs(), tickTimerProc);
      CoInitialize(nullptr);
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      break;
    }
    case WM_DESTROY:
      freeSettingsFile();
      CoUninitialize();
      PostQuitMessage(0);
      break;
    case WM_COMMAND:
      if (runCommand(window, wParam)) return 0;
      break;
    case kTrayCallbackMessage:
      if (LOWORD(lParam) == WM_RBUTTONDOWN) showTrayMenu(window);
      break;
    default:
      if (taskbarCreatedMessage != 0 && message == taskbarCreatedMessage) addTrayIcon(window);
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
