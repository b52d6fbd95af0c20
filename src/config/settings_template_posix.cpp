// The settings template on Linux: the same file's bytes, turned into an
// array initialiser when the build is configured.
#include "config/settings_template.h"

namespace {
const unsigned char templateBytes[] = {
#include "settings_template_bytes.inc"
};
}  // namespace

std::string settingsTemplate() {
  return std::string(reinterpret_cast<const char*>(templateBytes), sizeof templateBytes);
}
