#pragma once
// A serial line between two device paths, made of two pseudo-terminals
// that socat joins: what is written to one end is read at the other. For
// peers that open their device by path (pyserial) where PtyPort's far end
// is a bare descriptor.
//
//   SocatLine line(folder, "line1");   // folder/line1-gateway, -device
//   gateway.AddLinkedPort(1, "5,6", line.GatewayEnd());
//   ... a pymodbus device opens line.DeviceEnd() ...
#include <memory>
#include <string>

#include "tests/support/child_process.h"

class SocatLine {
 public:
  // Starts socat; both ends exist once IsReady is true.
  SocatLine(const std::string& folder, const std::string& name);
  ~SocatLine();  // ends socat by its process id
  SocatLine(const SocatLine&) = delete;
  SocatLine& operator=(const SocatLine&) = delete;

  bool IsReady() const { return ready_; }
  const std::string& GatewayEnd() const { return gateway_end_; }
  const std::string& DeviceEnd() const { return device_end_; }

 private:
  std::string gateway_end_;
  std::string device_end_;
  std::unique_ptr<ChildProcess> socat_;
  bool ready_ = false;
};
