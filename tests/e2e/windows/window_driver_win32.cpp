// window_driver: drives the tray program's windows from outside, the way a
// user's clicks would reach them, for the end-to-end checks under Wine.
//
//   command ID                 post the menu command ID to the tray window
//   has-icon                   exit 0 when the tray icon is registered
//   drop-icon                  remove the tray icon, as a shell restart would
//   taskbar-created            tell the tray window the shell has restarted
//   tray-mouse MESSAGE         a mouse message over the tray icon (e.g. 513)
//   cancel-menu                close an open popup menu of the tray window
//   exists CLASS TITLE         exit 0 when such a top-level window exists
//   wait CLASS TITLE SECONDS   wait until it exists (exit 1 on time-out)
//   wait-gone CLASS TITLE SECONDS
//   close CLASS TITLE          post WM_CLOSE to it
//   click TITLE ID             press button ID of the dialog titled TITLE
//   texts TITLE                print "id<TAB>text" of the dialog's controls
//   page TITLE INDEX           show page INDEX of the property sheet TITLE
//   page-texts TITLE           "id<TAB>text" of the sheet's current page
//   set-text TITLE ID TEXT     type TEXT into control ID of the current page
//   check TITLE ID 0|1         set check box ID of the current page
//   press TITLE ok|cancel      press the property sheet's OK or Cancel
// CLASS or TITLE "-" matches any. Exit 2 when a window is not found.
#include <windows.h>

#include <commctrl.h>
#include <prsht.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* orNull(const char* text) { return std::strcmp(text, "-") == 0 ? nullptr : text; }

HWND findTop(const char* className, const char* title) {
  return FindWindowA(orNull(className), orNull(title));
}

HWND trayWindow() { return FindWindowA("TARNBECK", "Tarnbeck"); }

std::string textOf(HWND control) {
  std::vector<char> buffer(1024, '\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(control, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                      SMTO_ABORTIFHUNG, 3000, &copied);
  return std::string(buffer.data());
}

BOOL CALLBACK printControl(HWND control, LPARAM parent) {
  if (GetParent(control) != reinterpret_cast<HWND>(parent)) return TRUE;
  std::printf("%d\t%s\n", GetDlgCtrlID(control), textOf(control).c_str());
  return TRUE;
}

int printControls(HWND parent) {
  if (parent == nullptr) return 2;
  EnumChildWindows(parent, printControl, reinterpret_cast<LPARAM>(parent));
  return 0;
}

HWND currentPage(const char* sheetTitle) {
  HWND sheet = FindWindowA(nullptr, sheetTitle);
  if (sheet == nullptr) return nullptr;
  return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

bool waitFor(const char* className, const char* title, double seconds, bool present) {
  DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  for (;;) {
    if ((findTop(className, title) != nullptr) == present) return true;
    if (static_cast<LONG>(GetTickCount() - deadline) > 0) return false;
    Sleep(50);
  }
}

int hasTrayIcon() {
  HWND window = trayWindow();
  if (window == nullptr) return 2;
  // Changing the tip to the same text succeeds only for a registered icon.
  NOTIFYICONDATAA record = {};
  record.cbSize = NOTIFYICONDATAA_V1_SIZE;
  record.hWnd = window;
  record.uID = 0;
  record.uFlags = NIF_TIP;
  std::strcpy(record.szTip, "Tarnbeck");
  return Shell_NotifyIconA(NIM_MODIFY, &record) ? 0 : 1;
}

int usage() {
  std::fprintf(stderr, "window_driver: unknown or incomplete command\n");
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string verb = argv[1];
  auto arg = [&](int i) { return i < argc ? argv[i] : nullptr; };

  if (verb == "command" && arg(2)) {
    HWND window = trayWindow();
    if (window == nullptr) return 2;
    return PostMessageA(window, WM_COMMAND, std::atoi(arg(2)), 0) ? 0 : 1;
  }
  if (verb == "has-icon") return hasTrayIcon();
  if (verb == "drop-icon" || verb == "taskbar-created" || verb == "cancel-menu" ||
      (verb == "tray-mouse" && arg(2))) {
    HWND window = trayWindow();
    if (window == nullptr) return 2;
    if (verb == "drop-icon") {
      NOTIFYICONDATAA record = {};
      record.cbSize = NOTIFYICONDATAA_V1_SIZE;
      record.hWnd = window;
      return Shell_NotifyIconA(NIM_DELETE, &record) ? 0 : 1;
    }
    if (verb == "taskbar-created")
      return PostMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0) ? 0 : 1;
    if (verb == "cancel-menu") return PostMessageA(window, WM_CANCELMODE, 0, 0) ? 0 : 1;
    return PostMessageA(window, WM_USER + 1, 0, std::atoi(arg(2))) ? 0 : 1;
  }
  if (verb == "exists" && arg(3)) return findTop(arg(2), arg(3)) ? 0 : 1;
  if ((verb == "wait" || verb == "wait-gone") && arg(4))
    return waitFor(arg(2), arg(3), std::atof(arg(4)), verb == "wait") ? 0 : 1;
  if (verb == "close" && arg(3)) {
    HWND window = findTop(arg(2), arg(3));
    if (window == nullptr) return 2;
    return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  if (verb == "click" && arg(3)) {
    HWND dialog = FindWindowA(nullptr, arg(2));
    if (dialog == nullptr) return 2;
    int id = std::atoi(arg(3));
    HWND button = GetDlgItem(dialog, id);
    return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)) ? 0
                                                                                                          : 1;
  }
  if (verb == "texts" && arg(2)) return printControls(FindWindowA(nullptr, arg(2)));
  if (verb == "page" && arg(3)) {
    HWND sheet = FindWindowA(nullptr, arg(2));
    if (sheet == nullptr) return 2;
    return SendMessageA(sheet, PSM_SETCURSEL, std::atoi(arg(3)), 0) ? 0 : 1;
  }
  if (verb == "page-texts" && arg(2)) return printControls(currentPage(arg(2)));
  if (verb == "set-text" && arg(4)) {
    HWND page = currentPage(arg(2));
    if (page == nullptr) return 2;
    HWND control = GetDlgItem(page, std::atoi(arg(3)));
    if (control == nullptr) return 2;
    return SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(arg(4))) ? 0 : 1;
  }
  if (verb == "check" && arg(4)) {
    HWND page = currentPage(arg(2));
    if (page == nullptr) return 2;
    HWND control = GetDlgItem(page, std::atoi(arg(3)));
    if (control == nullptr) return 2;
    SendMessageA(control, BM_SETCHECK, std::atoi(arg(4)) ? BST_CHECKED : BST_UNCHECKED, 0);
    return 0;
  }
  if (verb == "press" && arg(3)) {
    HWND sheet = FindWindowA(nullptr, arg(2));
    if (sheet == nullptr) return 2;
    WPARAM button = std::strcmp(arg(3), "ok") == 0 ? PSBTN_OK : PSBTN_CANCEL;
    return PostMessageA(sheet, PSM_PRESSBUTTON, button, 0) ? 0 : 1;
  }
  return usage();
}
