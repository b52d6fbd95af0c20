// Entry point of the Windows tray program: single instance, hidden tray
// window, settings file, autostart, optional game start, message loop.
#include "config/ini_file.h"
#include "config/settings.h"
#include "net/socket_library.h"
#include "shell/launcher.h"
#include "shell/launcher_win32.h"
#include "shell/program.h"
#include "shell/program_win32.h"
#include "shell/resources/resource_ids.h"
#include "shell/tray_window_win32.h"
#include "system/executable_path.h"

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// Created before WinMain; the error code right after creation tells whether
// another instance holds it. Closed at process exit.
class SingleInstanceMutex {
 public:
  SingleInstanceMutex()
      : handle_(CreateMutexA(nullptr, FALSE, "Global\\{hgs147467F0-cCC6-46k5-9C741-DEbb76325}")),
        error_(GetLastError()) {}
  ~SingleInstanceMutex() {
    if (handle_) CloseHandle(handle_);
  }
  SingleInstanceMutex(const SingleInstanceMutex&) = delete;
  SingleInstanceMutex& operator=(const SingleInstanceMutex&) = delete;

  bool heldElsewhere() const { return error_ == ERROR_ALREADY_EXISTS; }

 private:
  HANDLE handle_;
  DWORD error_;
};

// Winsock 1.1 for the whole process; without it the program cannot work, so
// it ends at once. Shut down at process exit, before the mutex is closed.
class WinsockForProcess {
 public:
  WinsockForProcess() {
    if (!library_.started()) std::exit(-1);
  }

 private:
  SocketLibrary library_;
};

// Namespace-scope objects of one file are built in this order and torn down
// in the reverse one.
SingleInstanceMutex instanceMutex;
WinsockForProcess winsock;

void registerTrayClass(HINSTANCE instance, const char* className) {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = trayWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TARNBECK));
  windowClass.hIconSm =
      static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_TARNBECK), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = className;
  RegisterClassExA(&windowClass);
}

// The tray program has nothing that asks twice to stop: the stop sequence's
// own budget bounds it.
bool noSecondStop(std::chrono::milliseconds) { return false; }

std::string loadText(HINSTANCE instance, UINT id) {
  char text[100] = {};
  LoadStringA(instance, id, text, sizeof(text));
  return text;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  setAppInstance(instance);
  const std::string title = loadText(instance, IDS_APP_TITLE);
  const std::string className = loadText(instance, IDS_WINDOW_CLASS);
  registerTrayClass(instance, className.c_str());

  if (instanceMutex.heldElsewhere()) {
    MessageBoxA(nullptr, "Tarnbeck is already running", "Error", MB_ICONERROR);
    return 0;
  }

  HWND window =
      CreateWindowExA(0, className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 0;
  ShowWindow(window, SW_HIDE);
  addTrayIcon(window);

  const std::string settingsPath = executableFolder() + "trbk.ini";
  auto ini = std::make_unique<IniFile>();
  if (!startProgram(settingsPath, *ini)) {
    MessageBoxA(nullptr, "The ini file could not be created", "File Creation Error", MB_ICONERROR);
    removeTrayIcon(window);
    // The message box ran the timer: a network thread may have started, and
    // the process must not end under it.
    stopProgram(noSecondStop);
    return 1;
  }
  setSettingsFile(std::move(ini));
  const std::string protocolProblem = linkProtocolProblem();
  if (!protocolProblem.empty()) MessageBoxA(nullptr, protocolProblem.c_str(), "Settings Error", MB_ICONERROR);

  if (wantsSimulatorStart(commandLine ? commandLine : "")) launchSimulator(nullptr);

  MSG message = {};
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }

  // The tray window is gone: the race the link holds is written and every
  // file waiting is handed to the upload step, as a tick would have.
  stopProgram(noSecondStop);
  return static_cast<int>(message.wParam);
}
