// The settings sheet: a "Main" and an "FTP" page over the settings file, and
// the browse dialogs for the simulator's executable and the output folder.
#include "shell/settings_dialog_win32.h"

#include "config/ini_file.h"
#include "shell/program_win32.h"
#include "shell/resources/resource_ids.h"
#include "system/file_system.h"

#include <commctrl.h>
#include <commdlg.h>
#include <prsht.h>
#include <shlobj.h>

#include <memory>
#include <vector>

namespace {

struct FieldBinding {
  int control;
  const char* section;
  const char* key;
  int maxCharacters;  // characters taken from the control on apply
};

// In the order the values are written on apply; the read order on opening is
// the one below.
const FieldBinding kMainFields[] = {
    {IDC_LFS_PATH, "main", "lfs", 289},
    {IDC_OUTPUT_PATH, "main", "outputpath", 289},
    {IDC_OUTPUT_NAME, "main", "outputname", 289},
    {IDC_LFS_PARAMETERS, "main", "lfsparameters", 289},
    {IDC_SERVER_IP, "network", "serverip", 17},
    {IDC_ADMIN_PASSWORD, "network", "adminpw", 17},
    {IDC_SERVER_PORT, "network", "serverport", 14},
    {IDC_CLIENT_PORT, "network", "clientport", 14},
};
const int kMainReadOrder[] = {IDC_OUTPUT_NAME,    IDC_SERVER_IP,      IDC_SERVER_PORT, IDC_CLIENT_PORT,
                              IDC_LFS_PARAMETERS, IDC_ADMIN_PASSWORD, IDC_LFS_PATH,    IDC_OUTPUT_PATH};

const FieldBinding kFtpFields[] = {
    {IDC_FTP_ADDRESS, "extra", "ftpaddr", 289},
    {IDC_HTTP_ADDRESS, "extra", "httpaddr", 289},
    {IDC_FTP_USER, "extra", "ftpuser", 49},
    {IDC_FTP_PASSWORD, "extra", "ftppw", 49},
};

std::string controlText(HWND page, int control, int maxCharacters) {
  std::vector<char> buffer(static_cast<size_t>(maxCharacters) + 1, '\0');
  GetDlgItemTextA(page, control, buffer.data(), maxCharacters + 1);
  return std::string(buffer.data());
}

void showValue(HWND page, const FieldBinding& field) {
  IniFile* ini = settingsFile();
  std::string value = ini ? ini->getValue(field.section, field.key) : std::string();
  SetDlgItemTextA(page, field.control, value.c_str());
}

template <size_t N>
const FieldBinding& bindingOf(const FieldBinding (&fields)[N], int control) {
  for (const FieldBinding& field : fields)
    if (field.control == control) return field;
  return fields[0];
}

template <size_t N>
void storeFields(HWND page, const FieldBinding (&fields)[N]) {
  IniFile* ini = settingsFile();
  if (ini == nullptr) return;
  for (const FieldBinding& field : fields)
    ini->setValue(field.section, field.key, controlText(page, field.control, field.maxCharacters));
}

// A "..." button: offers the browse dialog on the field's current path when
// it names something, else on an empty name; a choice replaces the text.
void browseInto(HWND page, int control, bool (*browse)(HWND, std::string&)) {
  std::string path = controlText(page, control, MAX_PATH - 1);
  if (!pathExists(path)) path.clear();
  if (browse(page, path)) SetDlgItemTextA(page, control, path.c_str());
}

// The notifications both pages answer alike. Returns the dialog procedure's
// result; apply runs the page's own store step.
INT_PTR handleNotify(HWND page, const NMHDR& header, void (*apply)(HWND)) {
  switch (header.code) {
    case PSN_APPLY:
      apply(page);
      return TRUE;
    case PSN_KILLACTIVE:
      SetWindowLongPtrA(page, DWLP_MSGRESULT, FALSE);
      return TRUE;
    case PSN_RESET:
      SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
      return FALSE;
    default:
      return FALSE;
  }
}

void applyMainPage(HWND page) {
  storeFields(page, kMainFields);
  if (IniFile* ini = settingsFile()) {
    ini->setValue("main", "systemstart",
                  IsDlgButtonChecked(page, IDC_SYSTEM_START) == BST_CHECKED ? "1" : "0");
    ini->save();
  }
  SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
  MessageBoxA(page, "Restart for using new Settings", "Information", MB_ICONINFORMATION);
}

void applyFtpPage(HWND page) {
  storeFields(page, kFtpFields);
  if (IniFile* ini = settingsFile()) ini->save();
  SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
}

INT_PTR CALLBACK mainPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      for (int control : kMainReadOrder) showValue(page, bindingOf(kMainFields, control));
      IniFile* ini = settingsFile();
      std::string systemStart = ini ? ini->getValue("main", "systemstart") : std::string();
      CheckDlgButton(page, IDC_SYSTEM_START,
                     !systemStart.empty() && systemStart[0] == '1' ? BST_CHECKED : BST_UNCHECKED);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_BROWSE_LFS) browseInto(page, IDC_LFS_PATH, browseForSimulator);
      if (LOWORD(wParam) == IDC_BROWSE_OUTPUT) browseInto(page, IDC_OUTPUT_PATH, browseForFolder);
      return FALSE;
    case WM_NOTIFY:
      return handleNotify(page, *reinterpret_cast<const NMHDR*>(lParam), applyMainPage);
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK ftpPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      for (const FieldBinding& field : kFtpFields) showValue(page, field);
      return TRUE;
    case WM_NOTIFY:
      return handleNotify(page, *reinterpret_cast<const NMHDR*>(lParam), applyFtpPage);
    default:
      return FALSE;
  }
}

PROPSHEETPAGEA makePage(int templateId, DLGPROC procedure) {
  PROPSHEETPAGEA page = {};
  page.dwSize = sizeof(page);
  page.dwFlags = PSP_DEFAULT;
  page.hInstance = appInstance();
  page.pszTemplate = MAKEINTRESOURCEA(templateId);
  page.pfnDlgProc = procedure;
  return page;
}

struct ItemIdList {
  void operator()(LPITEMIDLIST list) const { CoTaskMemFree(list); }
};

}  // namespace

void showSettingsDialog(HWND owner) {
  PROPSHEETPAGEA pages[] = {makePage(IDD_MAIN_PAGE, mainPageProc), makePage(IDD_FTP_PAGE, ftpPageProc)};
  PROPSHEETHEADERA sheet = {};
  sheet.dwSize = sizeof(sheet);
  sheet.dwFlags = PSH_PROPSHEETPAGE | PSH_USEICONID;
  sheet.hwndParent = owner;
  sheet.hInstance = appInstance();
  sheet.pszIcon = MAKEINTRESOURCEA(IDI_TARNBECK);
  sheet.pszCaption = "Settings";
  sheet.nPages = 2;
  sheet.nStartPage = 0;
  sheet.ppsp = pages;
  PropertySheetA(&sheet);
}

bool browseForSimulator(HWND owner, std::string& path) {
  char buffer[MAX_PATH] = {};
  path.copy(buffer, MAX_PATH - 1);
  OPENFILENAMEA dialog = {};
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = "LFS.exe\0*.exe\0";
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = buffer;
  dialog.nMaxFile = MAX_PATH;
  dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  if (!GetOpenFileNameA(&dialog)) {
    CommDlgExtendedError();
    return false;
  }
  path = buffer;
  return true;
}

bool browseForFolder(HWND owner, std::string& path) {
  char buffer[MAX_PATH] = {};
  BROWSEINFOA browse = {};
  browse.hwndOwner = owner;
  browse.pszDisplayName = buffer;
  std::unique_ptr<ITEMIDLIST, ItemIdList> chosen(SHBrowseForFolderA(&browse));
  if (!chosen || !SHGetPathFromIDListA(chosen.get(), buffer)) return false;
  path = buffer;
  return true;
}
