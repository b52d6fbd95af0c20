// lfs_window: stands in for the simulator's window on Windows. It owns a
// hidden window of class "LFS" titled "Live for Speed" (with "--dedi": class
// "LFS_DEDI" titled "Live for Speed DEDI") until the window is closed, and
// notes how it was started in "launched.txt" in its current folder: the
// command line after the program name, then the current folder.
#include <windows.h>

#include <cstring>
#include <fstream>
#include <string>

namespace {

LRESULT CALLBACK standInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}

void noteStart(const char* commandLine) {
  char folder[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, folder);
  std::ofstream note("launched.txt", std::ios::binary | std::ios::trunc);
  note << commandLine << "\n" << folder << "\n";
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  const bool dedicated = std::strstr(commandLine, "--dedi") != nullptr;
  const char* className = dedicated ? "LFS_DEDI" : "LFS";
  const char* title = dedicated ? "Live for Speed DEDI" : "Live for Speed";
  noteStart(commandLine);

  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = standInProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = className;
  if (!RegisterClassA(&windowClass)) return 1;
  HWND window = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320,
                                200, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;

  MSG message = {};
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
