#include "tests/support/socat_line.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/loopback_sockets.h"

SocatLine::SocatLine(const std::string& folder, const std::string& name)
    : gateway_end_(folder + "/" + name + "-gateway"),
      device_end_(folder + "/" + name + "-device") {
  socat_ = std::make_unique<ChildProcess>(std::vector<std::string>{
      "/usr/bin/socat", "pty,raw,echo=0,link=" + gateway_end_,
      "pty,raw,echo=0,link=" + device_end_});
  // socat makes the links a moment after it starts.
  ready_ = socat_->IsRunning() &&
           WaitUntil(
               [this] {
                 return access(gateway_end_.c_str(), F_OK) == 0 &&
                        access(device_end_.c_str(), F_OK) == 0;
               },
               std::chrono::seconds(10));
  if (!ready_) ADD_FAILURE() << "socat did not make " << gateway_end_;
}

SocatLine::~SocatLine() = default;
