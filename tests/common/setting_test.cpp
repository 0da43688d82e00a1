// TSetting::Load over real files in a temporary current directory: the
// order of its checks, the codes and texts it reports, and what a failed
// load leaves behind.
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/error_message_db.h"
#include "common/setting.h"
#include "tests/support/temp_dir.h"

namespace {

using IniText = std::map<std::string, std::map<std::string, std::string>>;

// One change to a file: set a value, or erase the key (value null), or
// the whole section (key null).
struct Edit {
  const char* section;
  const char* key = nullptr;
  const char* value = nullptr;
};

IniText ValidConfig(const std::vector<Edit>& edits = {}) {
  IniText ini;
  ini["ServerInfo"] = {{"ErrorMsgDB", "EN"},       {"TCPPort", "1502"},
                       {"IP", "127.0.0.1"},         {"TxTimeout", "1000"},
                       {"RxTimeout", "2000"},       {"SerialPorts", "COM1, COM2"},
                       {"MaxConnections", "5"}};
  ini["ErrorMsgDB"] = {{"EN", "ErrorMsg_EN.ini"}};
  ini["SystemStart"] = {{"RunServer", "false"}, {"TrayIcon", "false"}};
  ini["COM1"] = {{"Protocol", "RTU"},     {"Baudrate", "9600"},
                 {"Parity", "even"},      {"ByteSize", "8"},
                 {"StopBits", "2"},       {"TxTimeout", "100"},
                 {"RxTimeout", "200"},    {"SlaveAddrList", "1-3"},
                 {"RtsDelay", "5"}};
  ini["COM2"] = ini["COM1"];
  for (const Edit& edit : edits) {
    if (edit.key == nullptr) {
      ini.erase(edit.section);
    } else if (edit.value == nullptr) {
      ini[edit.section].erase(edit.key);
    } else {
      ini[edit.section][edit.key] = edit.value;
    }
  }
  return ini;
}

class Setting : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.CopyConfig("ErrorMsg_EN.ini");
    ASSERT_TRUE(texts.Load(dir.File("ErrorMsg_EN.ini").c_str()));
    Build();
  }
  void TearDown() override { Destroy(); }

  // The program's order: the configuration first, the error texts second;
  // destroyed the other way round.
  void Build() {
    gSetting.Build();
    gErrMsgDB.Build();
  }
  void Destroy() {
    gErrMsgDB.Destroy();
    gSetting.Destroy();
  }
  void Fresh() {
    Destroy();
    Build();
  }

  int Load(const IniText& ini) {
    std::string text;
    for (const auto& [section, keys] : ini) {
      text += "[" + section + "]\n";
      for (const auto& [key, value] : keys) text += key + "=" + value + "\n";
    }
    dir.Write("Quorvelin.ini", text);
    return gSetting->Load();
  }

  // What the shipped error-text file says for a code of section Setting.
  std::string Text(int code, const char* port = nullptr) {
    AnsiString text;
    if (port == nullptr) {
      EXPECT_TRUE(texts.GetMessage("Setting", code, text)) << code;
    } else {
      EXPECT_TRUE(texts.Format("Setting", code, text, port)) << code;
    }
    return text.str();
  }
  std::string PortName(std::uint32_t index) {
    const TSetting::ComParam* port = gSetting->GetComParam(index);
    return port == nullptr ? "<none>" : std::string(ToView(port->PortName));
  }

  TempDir dir;
  ScopedChdir in_dir{dir.path()};
  ErrorMessageDatabase texts;  // the reference, apart from gErrMsgDB
};

TEST_F(Setting, TheShippedConfigurationLoads) {
  dir.CopyConfig("Quorvelin.ini");
  ASSERT_EQ(gSetting->Load(), kSettingOk) << gSetting->GetErrorText();
  EXPECT_EQ(gSetting->GetTCP()->TCPPort, 502);
  EXPECT_EQ(gSetting->GetTCP()->IP, "127.0.0.1");
  ASSERT_EQ(gSetting->GetPortCount(), 1u);
  EXPECT_EQ(PortName(0), "COM1");
  EXPECT_FALSE(gSetting->IsRunServer());
  EXPECT_FALSE(gSetting->IsTrayIcon());
}

TEST_F(Setting, EveryValueIsReadIntoItsField) {
  // Port names split at comma, blank and tab; kept in list order as written.
  ASSERT_EQ(Load(ValidConfig({{"ServerInfo", "SerialPorts", " ,com2,\t Com1 ,"},
                              {"ServerInfo", "IP", "  10.1.2.3  spare words"},
                              {"COM2", "parity", "ODD"},
                              {"COM2", "StopBits", "1.5"},
                              {"COM2", "ByteSize", "7"},
                              {"COM2", "SlaveAddrList", "4, 5"},
                              {"COM1", "parity", "NONE"},
                              {"COM1", "ByteSize", "264"},
                              {"COM1", "StopBits", "1"}})),
            kSettingOk);
  EXPECT_TRUE(gSetting->IsLoaded());
  EXPECT_EQ(gSetting->GetMaxConnections(), 5u);
  const TSetting::TCP* tcp = gSetting->GetTCP();
  EXPECT_EQ(tcp->TCPPort, 1502);
  EXPECT_EQ(tcp->IP, "10.1.2.3");
  EXPECT_EQ(tcp->TxTimeout, 1000u);
  EXPECT_EQ(tcp->RxTimeout, 2000u);
  ASSERT_EQ(gSetting->GetPortCount(), 2u);
  EXPECT_EQ(PortName(0), "com2");
  EXPECT_EQ(PortName(1), "Com1");
  const TSetting::ComParam* com2 = gSetting->GetComParam(0);
  const TSetting::ComParam* com1 = gSetting->GetComParam(1);
  ASSERT_TRUE(com1 != nullptr && com2 != nullptr);
  EXPECT_EQ(gSetting->GetComParam(2), nullptr);
  EXPECT_EQ(com2->SlaveAddrList, "4, 5");
  EXPECT_EQ(com2->Baudrate, 9600u);
  EXPECT_EQ(com2->Parity, 1);
  EXPECT_EQ(com2->StopBits, 1);
  EXPECT_EQ(com2->ByteSize, 7);
  EXPECT_EQ(com2->TxTimeout, 100u);
  EXPECT_EQ(com2->RxTimeout, 200u);
  EXPECT_EQ(com2->RtsDelay, 5u);
  EXPECT_EQ(com1->Parity, 0);
  EXPECT_EQ(com1->ByteSize, 8);  // the low 8 bits of 264
  EXPECT_EQ(com1->StopBits, 0);

  gSetting->Unload();
  ASSERT_EQ(Load(ValidConfig({{"ServerInfo", "IP", ""}})), kSettingOk);
  EXPECT_EQ(gSetting->GetTCP()->IP, "10.1.2.3");  // an empty IP keeps the old
}

TEST_F(Setting, FileAndErrorTextStepsUseFixedTexts) {
  EXPECT_EQ(gSetting->Load(), kSettingCannotLoad);  // no file at all
  EXPECT_STREQ(gSetting->GetErrorText(), "can't load Quorvelin.ini");
  dir.Write("Quorvelin.ini", "[ServerInfo]\nnot a line\n");
  EXPECT_EQ(gSetting->Load(), kSettingCannotLoad);

  // On a first load no error-text file is loaded yet: no text at all.
  EXPECT_EQ(Load(ValidConfig({{"ServerInfo", "ErrorMsgDB"}})), -14);
  EXPECT_STREQ(gSetting->GetErrorText(), "can't load Quorvelin.ini");
  EXPECT_EQ(Load(ValidConfig({{"ServerInfo", "ErrorMsgDB", "FR"}})), -14);
  EXPECT_STREQ(gSetting->GetErrorText(), "can't load FR= from Quorvelin.ini");
  EXPECT_EQ(Load(ValidConfig({{"ErrorMsgDB", "EN", "missing.ini"}})), -14);
  EXPECT_STREQ(gSetting->GetErrorText(), "can't load missing.ini");

  // Once a file was loaded, a missing language id has its own text.
  ASSERT_EQ(Load(ValidConfig({{"ServerInfo", "TCPPort", "x"}})), -2);
  EXPECT_EQ(Load(ValidConfig({{"ServerInfo", "ErrorMsgDB"}})), -14);
  EXPECT_EQ(gSetting->GetErrorText(), Text(-14));
}

struct Fault {
  const char* what;
  std::vector<Edit> edits;
  int code;
  const char* port = nullptr;  // the port named in the text, if any
};

TEST_F(Setting, EachFaultHasItsCodeAndText) {
  const Fault faults[] = {
      {"TCPPort", {{"ServerInfo", "TCPPort", "port"}}, -2},
      {"TxTimeout", {{"ServerInfo", "TxTimeout"}}, -3},
      {"RxTimeout", {{"ServerInfo", "RxTimeout", ""}}, -3},
      {"SerialPorts", {{"ServerInfo", "SerialPorts"}}, -4},
      {"no port", {{"ServerInfo", "SerialPorts", " , ,\t"}}, -4},
      {"twice", {{"ServerInfo", "SerialPorts", "COM1,com1"}}, -4},
      {"MaxConnections", {{"ServerInfo", "MaxConnections", "many"}}, -15},
      {"baudrate", {{"COM2", "Baudrate"}}, -5, "COM2"},
      {"no section", {{"COM1"}}, -5, "COM1"},
      {"semicolon", {{"ServerInfo", "SerialPorts", "COM1;COM2"}}, -5, "COM1;COM2"},
      {"parity", {{"COM1", "Parity", "n"}}, -6, "COM1"},
      {"ByteSize", {{"COM1", "ByteSize", "70000"}}, -7, "COM1"},
      {"StopBits", {{"COM1", "StopBits", "1.50"}}, -8, "COM1"},
      {"port TxTimeout", {{"COM1", "TxTimeout", "-"}}, -9, "COM1"},
      {"port RxTimeout", {{"COM1", "RxTimeout"}}, -10, "COM1"},
      {"SlaveAddrList", {{"COM2", "SlaveAddrList"}}, -11, "COM2"},
      {"RtsDelay", {{"COM1", "RtsDelay", "soon"}}, -13, "COM1"},
      // With several faults, the first check in order reports.
      {"language first", {{"ServerInfo", "ErrorMsgDB"}, {"ServerInfo", "TCPPort", "x"}}, -14},
      {"port before time-outs", {{"ServerInfo", "TCPPort", "x"}, {"ServerInfo", "TxTimeout"}}, -2},
      {"time-outs before list", {{"ServerInfo", "RxTimeout", "x"}, {"ServerInfo", "SerialPorts"}}, -3},
      {"list before limit", {{"ServerInfo", "SerialPorts"}, {"ServerInfo", "MaxConnections"}}, -4},
      {"limit before empty list", {{"ServerInfo", "SerialPorts", ","}, {"ServerInfo", "MaxConnections"}}, -15},
      {"server before ports", {{"ServerInfo", "MaxConnections"}, {"COM1", "Baudrate"}}, -15},
      {"parity before stop bits", {{"COM1", "Parity", "mark"}, {"COM1", "StopBits", "3"}}, -6, "COM1"},
      {"list before delay", {{"COM1", "SlaveAddrList"}, {"COM1", "RtsDelay"}}, -11, "COM1"},
      {"first port first", {{"COM1", "RtsDelay"}, {"COM2", "Baudrate"}}, -13, "COM1"},
      {"in list order", {{"ServerInfo", "SerialPorts", "COM2 COM1"}, {"COM1", "Baudrate"}, {"COM2", "RtsDelay"}}, -13, "COM2"},
      {"twin before next port", {{"ServerInfo", "SerialPorts", "COM1 com1 COM2"}, {"COM2", "Baudrate"}}, -4},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    Fresh();
    EXPECT_EQ(Load(ValidConfig(fault.edits)), fault.code);
    EXPECT_FALSE(gSetting->IsLoaded());
    if (fault.code == -14) continue;  // no error texts loaded yet
    EXPECT_EQ(gSetting->GetErrorText(), Text(fault.code, fault.port));
  }
}

TEST_F(Setting, AFailedLoadKeepsWhatItReadButIsNotLoaded) {
  ASSERT_EQ(Load(ValidConfig({{"ServerInfo", "TCPPort", "7000"},
                              {"ServerInfo", "MaxConnections", "9"},
                              {"COM2", "RtsDelay"}})),
            kSettingBadRtsDelay);
  EXPECT_FALSE(gSetting->IsLoaded());
  EXPECT_EQ(gSetting->GetTCP()->TCPPort, 7000);
  EXPECT_EQ(gSetting->GetMaxConnections(), 9u);
  EXPECT_EQ(gSetting->GetPortCount(), 1u);       // COM1 was read
  EXPECT_EQ(gSetting->GetComParam(0), nullptr);  // but is not indexed

  // A corrected file loads without an Unload and holds only its ports.
  ASSERT_EQ(Load(ValidConfig({{"ServerInfo", "SerialPorts", "COM2"}})),
            kSettingOk);
  EXPECT_EQ(gSetting->GetPortCount(), 1u);
  EXPECT_EQ(PortName(0), "COM2");
  // The text of the last failure stays for whoever asks.
  EXPECT_EQ(gSetting->GetErrorText(), Text(-13, "COM2"));
}

TEST_F(Setting, LoadingWhileLoadedChangesOnlyTheError) {
  ASSERT_EQ(Load(ValidConfig({{"SystemStart", "RunServer", "TRUE"}})),
            kSettingOk);
  EXPECT_EQ(Load(ValidConfig({{"ServerInfo", "TCPPort", "1"},
                              {"ServerInfo", "SerialPorts", "COM2"}})),
            kSettingAlreadyLoaded);
  EXPECT_EQ(gSetting->GetErrorText(), Text(-16));
  EXPECT_TRUE(gSetting->IsLoaded());
  EXPECT_EQ(gSetting->GetTCP()->TCPPort, 1502);
  EXPECT_EQ(PortName(0), "COM1");

  // Unload drops the ports only; the next load reads the file again.
  gSetting->Unload();
  EXPECT_FALSE(gSetting->IsLoaded());
  EXPECT_EQ(gSetting->GetPortCount(), 0u);
  EXPECT_EQ(gSetting->GetComParam(0), nullptr);
  EXPECT_EQ(gSetting->GetTCP()->TCPPort, 1502);
  EXPECT_TRUE(gSetting->IsRunServer());  // the parsed file stays
  EXPECT_EQ(gSetting->Load(), kSettingOk);
  EXPECT_EQ(gSetting->GetTCP()->TCPPort, 1);
}

TEST_F(Setting, StartSwitchesAreTrueOnlyForTheWordTrue) {
  const std::pair<const char*, bool> values[] = {
      {"true", true}, {"TRUE", true},   {"True", true}, {"yes", false},
      {"1", false},   {"true!", false}, {"", false}};
  for (const auto& [value, expected] : values) {
    SCOPED_TRACE(value);
    Load(ValidConfig({{"SystemStart", "RunServer", value},
                      {"SystemStart", "TrayIcon", value},
                      {"ServerInfo", "TCPPort", "x"}}));  // loaded or not
    EXPECT_EQ(gSetting->IsRunServer(), expected);
    EXPECT_EQ(gSetting->IsTrayIcon(), expected);
  }
  Load(ValidConfig({{"SystemStart", "TrayIcon"}}));
  EXPECT_FALSE(gSetting->IsTrayIcon());
}

// A text or a port name never acts as a format; a code without a text
// keeps the text before it.
TEST_F(Setting, ErrorTextsComeFromTheFileAsTheyStand) {
  dir.Write("sparse.ini", "[Setting]\n-5=%n%s%d%s%x\n");
  const Edit sparse{"ErrorMsgDB", "EN", "sparse.ini"};
  const Edit hostile_name{"ServerInfo", "SerialPorts", "C%nOM%s"};
  ASSERT_EQ(Load(ValidConfig({sparse, hostile_name})), -5);
  EXPECT_STREQ(gSetting->GetErrorText(), "%nC%nOM%s%d%s%x");
  ASSERT_EQ(Load(ValidConfig({sparse, {"ServerInfo", "TCPPort", "x"}})), -2);
  EXPECT_STREQ(gSetting->GetErrorText(), "%nC%nOM%s%d%s%x");
}

}  // namespace
