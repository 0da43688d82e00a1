// The serial ports offered for a new port: the ports folder's COMn entries
// and the ttyS nodes with a UART behind them, by number.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/serial_ports_list.h"
#include "tests/support/pty_port.h"
#include "tests/support/temp_dir.h"

namespace {

// A /sys/class/tty stand-in: each node with the port type the kernel
// reports, or none (-1) when it has no "type" file.
void AddTtyNode(const TempDir& sys, const std::string& name, int type) {
  const std::string folder = sys.File(name);
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  if (type >= 0) std::ofstream(folder + "/type") << type << "\n";
}

TEST(SerialPortsList, RealUartsAndFolderEntriesByNumberConfiguredLeftOut) {
  PortsFolder ports;
  for (const char* name : {"COM10", "COM2", "COM0", "COM256", "COM007", "COMx",
                           "com4", "COM3"})
    ASSERT_TRUE(ports.Link(name, "/nonexistent"));
  TempDir sys;
  AddTtyNode(sys, "ttyS0", 4);    // COM1, a 16550A
  AddTtyNode(sys, "ttyS1", 0);    // no UART behind it
  AddTtyNode(sys, "ttyS4", -1);   // no type reported
  AddTtyNode(sys, "ttyS10", 4);   // COM11
  AddTtyNode(sys, "ttyS255", 4);  // would be COM256
  AddTtyNode(sys, "tty5", 4);

  std::vector<AnsiString> offered;
  EXPECT_EQ(EnumSerialPorts(offered, {"com3", "Com11"}, sys.path()), 3);
  std::vector<std::string> names;
  for (const AnsiString& name : offered) names.push_back(name.str());
  EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM2", "COM10"}));
}

}  // namespace
