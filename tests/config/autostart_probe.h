// Sets the platform's autostart store aside for one test, restores it
// afterwards, and reads back the command registered there.
#pragma once

#include <memory>
#include <optional>
#include <string>

class AutostartSandbox {
 public:
  AutostartSandbox();
  AutostartSandbox(const AutostartSandbox&) = delete;
  AutostartSandbox& operator=(const AutostartSandbox&) = delete;
  ~AutostartSandbox();

  // The registered command as the desktop will run it, or none.
  std::optional<std::string> command() const;

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
};
