// TSetting::Load over real files in a temporary current directory: the
// order of its checks, the codes and texts it reports, and what a failed
// load leaves behind.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/error_message_db.h"
#include "common/setting.h"
#include "tests/support/temp_dir.h"

namespace {

// A configuration file as sections of key=value lines, edited per test.
class IniText {
 public:
  IniText& Set(const std::string& section, const std::string& key,
               const std::string& value) {
    for (auto& [k, v] : Section(section)) {
      if (k == key) {
        v = value;
        return *this;
      }
    }
    Section(section).emplace_back(key, value);
    return *this;
  }
  IniText& Remove(const std::string& section, const std::string& key) {
    auto& keys = Section(section);
    std::erase_if(keys, [&](const auto& entry) { return entry.first == key; });
    return *this;
  }
  IniText& RemoveSection(const std::string& section) {
    std::erase_if(sections_,
                  [&](const auto& entry) { return entry.first == section; });
    return *this;
  }
  std::string Render() const {
    std::string text;
    for (const auto& [section, keys] : sections_) {
      text += "[" + section + "]\n";
      for (const auto& [key, value] : keys) text += key + "=" + value + "\n";
    }
    return text;
  }

 private:
  using Keys = std::vector<std::pair<std::string, std::string>>;
  Keys& Section(const std::string& name) {
    for (auto& [section, keys] : sections_) {
      if (section == name) return keys;
    }
    return sections_.emplace_back(name, Keys{}).second;
  }
  std::vector<std::pair<std::string, Keys>> sections_;
};

IniText ValidConfig() {
  IniText ini;
  ini.Set("ServerInfo", "ErrorMsgDB", "EN")
      .Set("ServerInfo", "TCPPort", "1502")
      .Set("ServerInfo", "IP", "127.0.0.1")
      .Set("ServerInfo", "TxTimeout", "1000")
      .Set("ServerInfo", "RxTimeout", "2000")
      .Set("ServerInfo", "SerialPorts", "COM1, COM2")
      .Set("ServerInfo", "MaxConnections", "5")
      .Set("ErrorMsgDB", "EN", "ErrorMsg_EN.ini")
      .Set("SystemStart", "RunServer", "false")
      .Set("SystemStart", "TrayIcon", "false");
  for (const char* port : {"COM1", "COM2"}) {
    ini.Set(port, "Protocol", "RTU")
        .Set(port, "Baudrate", "9600")
        .Set(port, "Parity", "even")
        .Set(port, "ByteSize", "8")
        .Set(port, "StopBits", "2")
        .Set(port, "TxTimeout", "100")
        .Set(port, "RxTimeout", "200")
        .Set(port, "SlaveAddrList", "1-3")
        .Set(port, "RtsDelay", "5");
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
    dir.Write("Quorvelin.ini", ini.Render());
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
  EXPECT_TRUE(gSetting->IsLoaded());
  EXPECT_EQ(gSetting->GetTCP()->TCPPort, 502);
  EXPECT_EQ(gSetting->GetTCP()->IP, "127.0.0.1");
  ASSERT_EQ(gSetting->GetPortCount(), 1u);
  const TSetting::ComParam* com1 = gSetting->GetComParam(0);
  ASSERT_NE(com1, nullptr);
  EXPECT_EQ(com1->PortName, "COM1");
  EXPECT_EQ(com1->Baudrate, 9600u);
  EXPECT_EQ(com1->Parity, 0);
  EXPECT_EQ(com1->ByteSize, 8);
  EXPECT_EQ(com1->StopBits, 0);
  EXPECT_FALSE(gSetting->IsRunServer());
  EXPECT_FALSE(gSetting->IsTrayIcon());
}

TEST_F(Setting, EveryValueIsStored) {
  ASSERT_EQ(Load(ValidConfig()
                     .Set("COM2", "parity", "ODD")
                     .Set("COM2", "StopBits", "1.5")
                     .Set("COM2", "ByteSize", "7")
                     .Set("COM2", "SlaveAddrList", "4, 5")),
            kSettingOk);
  EXPECT_EQ(gSetting->GetMaxConnections(), 5u);
  const TSetting::TCP* tcp = gSetting->GetTCP();
  EXPECT_EQ(tcp->TCPPort, 1502);
  EXPECT_EQ(tcp->TxTimeout, 1000u);
  EXPECT_EQ(tcp->RxTimeout, 2000u);
  ASSERT_EQ(gSetting->GetPortCount(), 2u);
  const TSetting::ComParam* com2 = gSetting->GetComParam(1);
  ASSERT_NE(com2, nullptr);
  EXPECT_EQ(com2->PortName, "COM2");
  EXPECT_EQ(com2->SlaveAddrList, "4, 5");
  EXPECT_EQ(com2->Parity, 1);
  EXPECT_EQ(com2->StopBits, 1);
  EXPECT_EQ(com2->ByteSize, 7);
  EXPECT_EQ(com2->TxTimeout, 100u);
  EXPECT_EQ(com2->RxTimeout, 200u);
  EXPECT_EQ(com2->RtsDelay, 5u);
  EXPECT_EQ(gSetting->GetComParam(2), nullptr);
}

TEST_F(Setting, WithoutTheFileTheLoadFailsWithAFixedText) {
  EXPECT_EQ(gSetting->Load(), kSettingCannotLoad);
  EXPECT_STREQ(gSetting->GetErrorText(), "can't load Quorvelin.ini");
  EXPECT_FALSE(gSetting->IsLoaded());
  dir.Write("Quorvelin.ini", "[ServerInfo]\nnot a line\n");
  EXPECT_EQ(gSetting->Load(), kSettingCannotLoad);
}

TEST_F(Setting, TheErrorTextFileStepsUseFixedTexts) {
  // On a first load no error-text file is loaded yet: no text at all.
  EXPECT_EQ(Load(ValidConfig().Remove("ServerInfo", "ErrorMsgDB")),
            kSettingBadErrorMsgDB);
  EXPECT_STREQ(gSetting->GetErrorText(), "");

  EXPECT_EQ(Load(ValidConfig().Set("ServerInfo", "ErrorMsgDB", "FR")),
            kSettingBadErrorMsgDB);
  EXPECT_STREQ(gSetting->GetErrorText(),
               "can't load FR= from Quorvelin.ini");

  EXPECT_EQ(Load(ValidConfig().Set("ErrorMsgDB", "EN", "missing.ini")),
            kSettingBadErrorMsgDB);
  EXPECT_STREQ(gSetting->GetErrorText(), "can't load missing.ini");

  // Once a file was loaded, a missing language id has its own text.
  ASSERT_EQ(Load(ValidConfig().Set("ServerInfo", "TCPPort", "x")),
            kSettingBadTcpPort);
  EXPECT_EQ(Load(ValidConfig().Remove("ServerInfo", "ErrorMsgDB")),
            kSettingBadErrorMsgDB);
  EXPECT_EQ(gSetting->GetErrorText(), Text(-14));
}

struct Fault {
  const char* what;
  IniText ini;
  int code;
  const char* port = nullptr;  // the port named in the text, if any
};

TEST_F(Setting, EachFaultHasItsCodeAndText) {
  const Fault faults[] = {
      {"TCPPort", ValidConfig().Set("ServerInfo", "TCPPort", "port"), -2},
      {"TxTimeout", ValidConfig().Remove("ServerInfo", "TxTimeout"), -3},
      {"RxTimeout", ValidConfig().Set("ServerInfo", "RxTimeout", ""), -3},
      {"SerialPorts", ValidConfig().Remove("ServerInfo", "SerialPorts"), -4},
      {"no port", ValidConfig().Set("ServerInfo", "SerialPorts", " , ,\t"), -4},
      {"twice", ValidConfig().Set("ServerInfo", "SerialPorts", "COM1,com1"), -4},
      {"MaxConnections", ValidConfig().Set("ServerInfo", "MaxConnections", "many"), -15},
      {"baudrate", ValidConfig().Remove("COM2", "Baudrate"), -5, "COM2"},
      {"section", ValidConfig().RemoveSection("COM1"), -5, "COM1"},
      {"semicolon", ValidConfig().Set("ServerInfo", "SerialPorts", "COM1;COM2"), -5, "COM1;COM2"},
      {"parity", ValidConfig().Set("COM1", "Parity", "n"), -6, "COM1"},
      {"ByteSize", ValidConfig().Set("COM1", "ByteSize", "70000"), -7, "COM1"},
      {"StopBits", ValidConfig().Set("COM1", "StopBits", "1.50"), -8, "COM1"},
      {"port TxTimeout", ValidConfig().Set("COM1", "TxTimeout", "-"), -9, "COM1"},
      {"port RxTimeout", ValidConfig().Remove("COM1", "RxTimeout"), -10, "COM1"},
      {"SlaveAddrList", ValidConfig().Remove("COM2", "SlaveAddrList"), -11, "COM2"},
      {"RtsDelay", ValidConfig().Set("COM1", "RtsDelay", "soon"), -13, "COM1"},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    Fresh();
    EXPECT_EQ(Load(fault.ini), fault.code);
    EXPECT_EQ(gSetting->GetErrorText(), Text(fault.code, fault.port));
    if (fault.port != nullptr) {
      EXPECT_NE(std::string(gSetting->GetErrorText()).find(fault.port),
                std::string::npos);
    }
    EXPECT_FALSE(gSetting->IsLoaded());
  }
}

TEST_F(Setting, AFileWithSeveralFaultsReportsTheFirstCheck) {
  const Fault faults[] = {
      {"language before port", ValidConfig().Remove("ServerInfo", "ErrorMsgDB").Set("ServerInfo", "TCPPort", "x"), -14},
      {"port before time-outs", ValidConfig().Set("ServerInfo", "TCPPort", "x").Remove("ServerInfo", "TxTimeout"), -2},
      {"time-outs before list", ValidConfig().Set("ServerInfo", "RxTimeout", "x").Remove("ServerInfo", "SerialPorts"), -3},
      {"limit before empty list", ValidConfig().Set("ServerInfo", "SerialPorts", ",").Remove("ServerInfo", "MaxConnections"), -15},
      {"list before limit", ValidConfig().Remove("ServerInfo", "SerialPorts").Remove("ServerInfo", "MaxConnections"), -4},
      {"server before ports", ValidConfig().Remove("ServerInfo", "MaxConnections").Remove("COM1", "Baudrate"), -15},
      {"parity before stop bits", ValidConfig().Set("COM1", "Parity", "mark").Set("COM1", "StopBits", "3"), -6, "COM1"},
      {"list before delay", ValidConfig().Remove("COM1", "SlaveAddrList").Remove("COM1", "RtsDelay"), -11, "COM1"},
      {"first port first", ValidConfig().Remove("COM1", "RtsDelay").Remove("COM2", "Baudrate"), -13, "COM1"},
      {"order of the list", ValidConfig().Set("ServerInfo", "SerialPorts", "COM2 COM1").Remove("COM1", "Baudrate").Remove("COM2", "RtsDelay"), -13, "COM2"},
      {"each port read before the twin", ValidConfig().Set("ServerInfo", "SerialPorts", "COM1 com1 COM2").Remove("COM2", "Baudrate"), -4},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    Fresh();
    EXPECT_EQ(Load(fault.ini), fault.code);
    if (fault.code != -14) {
      EXPECT_EQ(gSetting->GetErrorText(), Text(fault.code, fault.port));
    }
  }
}

TEST_F(Setting, ValuesReadAsTheirTypesDo) {
  ASSERT_EQ(Load(ValidConfig()
                     .Set("ServerInfo", "TCPPort", "502abc")
                     .Set("ServerInfo", "IP", "  10.1.2.3  spare words")
                     .Set("COM1", "parity", "NONE")
                     .Set("COM1", "ByteSize", "264")
                     .Set("COM1", "StopBits", "1")),
            kSettingOk);
  EXPECT_EQ(gSetting->GetTCP()->TCPPort, 502);
  EXPECT_EQ(gSetting->GetTCP()->IP, "10.1.2.3");
  const TSetting::ComParam* com1 = gSetting->GetComParam(0);
  ASSERT_NE(com1, nullptr);
  EXPECT_EQ(com1->Parity, 0);
  EXPECT_EQ(com1->ByteSize, 8);  // the low 8 bits of 264
  EXPECT_EQ(com1->StopBits, 0);

  gSetting->Unload();
  ASSERT_EQ(Load(ValidConfig().Set("ServerInfo", "TCPPort", "-1")
                     .Set("ServerInfo", "IP", "")),
            kSettingOk);
  EXPECT_EQ(gSetting->GetTCP()->TCPPort, -1);  // no range check here
  EXPECT_EQ(gSetting->GetTCP()->IP, "10.1.2.3");  // an empty IP keeps the old
}

TEST_F(Setting, PortNamesSplitAtCommaBlankAndTabInListOrder) {
  for (const char* list : {"COM1,COM2", "COM1  COM2", "COM1\tCOM2",
                           "COM1, COM2", " ,COM1,,\t COM2 ,"}) {
    SCOPED_TRACE(list);
    Fresh();
    ASSERT_EQ(Load(ValidConfig().Set("ServerInfo", "SerialPorts", list)),
              kSettingOk);
    EXPECT_EQ(gSetting->GetPortCount(), 2u);
    EXPECT_EQ(PortName(0), "COM1");
    EXPECT_EQ(PortName(1), "COM2");
  }
  Fresh();
  ASSERT_EQ(Load(ValidConfig().Set("ServerInfo", "SerialPorts", "com2 Com1")),
            kSettingOk);
  EXPECT_EQ(PortName(0), "com2");  // as written in the list
  EXPECT_EQ(PortName(1), "Com1");
}

TEST_F(Setting, AFailedLoadKeepsWhatItReadButIsNotLoaded) {
  ASSERT_EQ(Load(ValidConfig()
                     .Set("ServerInfo", "TCPPort", "7000")
                     .Set("ServerInfo", "MaxConnections", "9")
                     .Remove("COM2", "RtsDelay")),
            kSettingBadRtsDelay);
  EXPECT_FALSE(gSetting->IsLoaded());
  EXPECT_EQ(gSetting->GetTCP()->TCPPort, 7000);
  EXPECT_EQ(gSetting->GetMaxConnections(), 9u);
  EXPECT_EQ(gSetting->GetPortCount(), 1u);  // COM1 was read
  EXPECT_EQ(gSetting->GetComParam(0), nullptr);  // but is not indexed

  // A corrected file loads without an Unload and holds only its ports.
  ASSERT_EQ(Load(ValidConfig().Set("ServerInfo", "SerialPorts", "COM2")),
            kSettingOk);
  EXPECT_EQ(gSetting->GetPortCount(), 1u);
  EXPECT_EQ(PortName(0), "COM2");
  // The text of the last failure stays for whoever asks.
  EXPECT_EQ(gSetting->GetErrorText(), Text(-13, "COM2"));
}

TEST_F(Setting, LoadingWhileLoadedChangesOnlyTheError) {
  ASSERT_EQ(Load(ValidConfig()), kSettingOk);
  EXPECT_EQ(Load(ValidConfig().Set("ServerInfo", "TCPPort", "1")
                     .Set("ServerInfo", "SerialPorts", "COM2")),
            kSettingAlreadyLoaded);
  EXPECT_EQ(gSetting->GetErrorText(), Text(-16));
  EXPECT_TRUE(gSetting->IsLoaded());
  EXPECT_EQ(gSetting->GetTCP()->TCPPort, 1502);
  EXPECT_EQ(gSetting->GetPortCount(), 2u);
  EXPECT_EQ(PortName(0), "COM1");
}

TEST_F(Setting, UnloadDropsThePortsOnly) {
  ASSERT_EQ(Load(ValidConfig().Set("SystemStart", "RunServer", "TRUE")),
            kSettingOk);
  gSetting->Unload();
  EXPECT_FALSE(gSetting->IsLoaded());
  EXPECT_EQ(gSetting->GetPortCount(), 0u);
  EXPECT_EQ(gSetting->GetComParam(0), nullptr);
  EXPECT_EQ(gSetting->GetTCP()->TCPPort, 1502);
  EXPECT_TRUE(gSetting->IsRunServer());  // the parsed file stays
  EXPECT_EQ(gSetting->Load(), kSettingOk);
}

TEST_F(Setting, StartSwitchesAreTrueOnlyForTheWordTrue) {
  const std::pair<const char*, bool> values[] = {
      {"true", true}, {"TRUE", true}, {"True", true}, {"yes", false},
      {"1", false},   {"true!", false}, {"", false}};
  for (const auto& [value, expected] : values) {
    SCOPED_TRACE(value);
    Fresh();
    Load(ValidConfig().Set("SystemStart", "RunServer", value)
             .Set("SystemStart", "TrayIcon", value));
    EXPECT_EQ(gSetting->IsRunServer(), expected);
    EXPECT_EQ(gSetting->IsTrayIcon(), expected);
  }
  // They read the parsed file, loaded or not, and a missing key means no.
  Fresh();
  EXPECT_EQ(Load(ValidConfig().Set("SystemStart", "RunServer", "true")
                     .Remove("SystemStart", "TrayIcon")
                     .Set("ServerInfo", "TCPPort", "x")),
            kSettingBadTcpPort);
  EXPECT_TRUE(gSetting->IsRunServer());
  EXPECT_FALSE(gSetting->IsTrayIcon());
}

TEST_F(Setting, ACodeWithoutATextKeepsThePreviousText) {
  dir.Write("sparse.ini", "[Setting]\n-5=port %s has no baud rate\n");
  const IniText sparse = ValidConfig().Set("ErrorMsgDB", "EN", "sparse.ini");
  ASSERT_EQ(Load(IniText(sparse).Remove("COM1", "Baudrate")), -5);
  EXPECT_STREQ(gSetting->GetErrorText(), "port COM1 has no baud rate");
  ASSERT_EQ(Load(IniText(sparse).Set("ServerInfo", "TCPPort", "x")), -2);
  EXPECT_STREQ(gSetting->GetErrorText(), "port COM1 has no baud rate");
}

TEST_F(Setting, AHostileTextOrPortNameCannotActAsAFormat) {
  dir.Write("hostile.ini", "[Setting]\n-5=%n%s%d%s%x\n");
  ASSERT_EQ(Load(ValidConfig()
                     .Set("ErrorMsgDB", "EN", "hostile.ini")
                     .Set("ServerInfo", "SerialPorts", "C%nOM%s")),
            -5);
  EXPECT_STREQ(gSetting->GetErrorText(), "%nC%nOM%s%d%s%x");
}

}  // namespace
