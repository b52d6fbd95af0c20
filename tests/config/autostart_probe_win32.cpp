// The autostart store on Windows is the machine-wide Run key: the value found
// there before a test is put back afterwards, so the registry ends as it began.
#include "autostart_probe.h"

#include <windows.h>

#include <vector>

namespace {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kValueName[] = "Tarnbeck";

struct RawValue {
  DWORD type = 0;
  std::vector<BYTE> data;
};

std::optional<RawValue> readValue() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  RawValue value;
  DWORD size = 0;
  LONG result = RegQueryValueExA(key, kValueName, nullptr, &value.type, nullptr, &size);
  if (result == ERROR_SUCCESS) {
    value.data.resize(size);
    result = RegQueryValueExA(key, kValueName, nullptr, &value.type, value.data.data(), &size);
    value.data.resize(size);
  }
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return std::nullopt;
  return value;
}

}  // namespace

struct AutostartSandbox::Saved {
  std::optional<RawValue> before;
};

AutostartSandbox::AutostartSandbox() : saved_(new Saved{readValue()}) {}

AutostartSandbox::~AutostartSandbox() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &key, nullptr) == ERROR_SUCCESS) {
    if (saved_->before) {
      RegSetValueExA(key, kValueName, 0, saved_->before->type, saved_->before->data.data(),
                     static_cast<DWORD>(saved_->before->data.size()));
    } else {
      RegDeleteValueA(key, kValueName);
    }
    RegCloseKey(key);
  }
}

// REG_SZ data must end in exactly one NUL; anything else reads as a mismatch.
std::optional<std::string> AutostartSandbox::command() const {
  std::optional<RawValue> value = readValue();
  if (!value) return std::nullopt;
  if (value->type != REG_SZ) return "<value of type " + std::to_string(value->type) + ">";
  std::string text(value->data.begin(), value->data.end());
  if (text.empty() || text.back() != '\0') return "<no terminating NUL> " + text;
  text.pop_back();
  return text;
}
