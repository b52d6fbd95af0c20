// The settings template on Windows: resource 130 of type "FILE" in the
// executable's own module.
#include "config/settings_template.h"

#include <windows.h>

std::string settingsTemplate() {
  HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(130), "FILE");
  if (!resource) return std::string();
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return std::string();
  return std::string(static_cast<const char*>(bytes), SizeofResource(nullptr, resource));
}
