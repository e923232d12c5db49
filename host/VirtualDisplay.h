// An X display for programs that need one and may run where there is none:
// when DISPLAY is unset (CI, a terminal over ssh), a private Xvfb server is
// started on a free display number and DISPLAY points at it until the
// object goes. With DISPLAY already set nothing is started.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

namespace tessaro::host {

class VirtualDisplay {
 public:
  // The display in use (":12", or the caller's own). Null with *error filled
  // when DISPLAY is unset and Xvfb cannot be started.
  static std::unique_ptr<VirtualDisplay> Ensure(std::string* error);
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  const std::string& Name() const { return name_; }
  // True when this object started the server.
  bool Started() const { return pid_ > 0; }

 private:
  VirtualDisplay() = default;
  std::string name_;
  pid_t pid_ = -1;
};

}  // namespace tessaro::host
