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
  ini["ServerInfo"] = {{"ErrorMsgDB", "EN"}, {"TCPPort", "1502"},
      {"IP", "127.0.0.1"}, {"TxTimeout", "1000"}, {"RxTimeout", "2000"},
      {"SerialPorts", "COM1, COM2"}, {"MaxConnections", "5"}};
  ini["ErrorMsgDB"] = {{"EN", "ErrorMsg_EN.ini"}};
  ini["COM1"] = {{"Baudrate", "9600"}, {"Parity", "even"}, {"ByteSize", "8"},
      {"StopBits", "2"}, {"TxTimeout", "100"}, {"RxTimeout", "200"},
      {"SlaveAddrList", "1-3"}, {"RtsDelay", "5"}};
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
  // The program's order: the configuration first, the error texts second.
  void SetUp() override {
    dir.CopyConfig("ErrorMsg_EN.ini");
    ASSERT_TRUE(texts.Load(dir.File("ErrorMsg_EN.ini").c_str()));
    gSetting.Build();
    gErrMsgDB.Build();
  }
  void TearDown() override {
    gErrMsgDB.Destroy();
    gSetting.Destroy();
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
    EXPECT_TRUE(texts.Format("Setting", code, text, port ? port : ""));
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

TEST_F(Setting, EveryValueIsReadIntoItsField) {
  // Port names split at comma, blank and tab; kept in list order as written.
  ASSERT_EQ(Load(ValidConfig({{"ServerInfo", "SerialPorts", " ,com2,\t Com1"},
                              {"ServerInfo", "IP", "  10.1.2.3  spare"},
                              {"SystemStart", "TrayIcon", "TRUE"},
                              {"SystemStart", "RunServer", "yes"},
                              {"COM2", "parity", "ODD"},
                              {"COM2", "StopBits", "1.5"},
                              {"COM1", "ByteSize", "264"}})),
            kSettingOk);
  EXPECT_TRUE(gSetting->IsTrayIcon());
  EXPECT_FALSE(gSetting->IsRunServer());  // only the word true is true
  EXPECT_EQ(gSetting->GetTCP()->IP, "10.1.2.3");
  EXPECT_EQ(gSetting->GetTCP()->RxTimeout, 2000u);
  ASSERT_EQ(gSetting->GetPortCount(), 2u);
  EXPECT_EQ(PortName(0), "com2");
  EXPECT_EQ(PortName(1), "Com1");
  const TSetting::ComParam& com2 = *gSetting->GetComParam(0);
  EXPECT_EQ(com2.Parity, 1);
  EXPECT_EQ(com2.StopBits, 1);
  EXPECT_EQ(com2.RtsDelay, 5u);
  EXPECT_EQ(gSetting->GetComParam(1)->StopBits, 2);  // "2": two stop bits
  EXPECT_EQ(gSetting->GetComParam(1)->ByteSize, 8);  // low 8 bits of 264
}

TEST_F(Setting, FileStepsUseFixedTextsAndTheShippedFileLoads) {
  EXPECT_EQ(gSetting->Load(), kSettingCannotLoad);  // no file at all
  EXPECT_STREQ(gSetting->GetErrorText(), "can't load Quorvelin.ini");
  // On a first load no error-text file is loaded yet: fixed texts.
  EXPECT_EQ(Load(ValidConfig({{"ServerInfo", "ErrorMsgDB", "FR"}})), -14);
  EXPECT_STREQ(gSetting->GetErrorText(), "can't load FR= from Quorvelin.ini");
  EXPECT_EQ(Load(ValidConfig({{"ErrorMsgDB", "EN", "missing.ini"}})), -14);
  EXPECT_STREQ(gSetting->GetErrorText(), "can't load missing.ini");
  dir.CopyConfig("Quorvelin.ini");
  ASSERT_EQ(gSetting->Load(), kSettingOk) << gSetting->GetErrorText();
  EXPECT_EQ(gSetting->GetTCP()->TCPPort, 502);
  EXPECT_EQ(PortName(0), "COM1");
}

// One row per code; each also spoils a later check, which must not report.
TEST_F(Setting, ChecksRunInOrderAndTheFirstFaultReports) {
  const struct {
    std::vector<Edit> edits;
    int code;
    const char* port = nullptr;  // the port named in the text, if any
  } faults[] = {
      {{{"ServerInfo", "ErrorMsgDB"}, {"ServerInfo", "TCPPort", "x"}}, -14},
      {{{"ServerInfo", "TCPPort", "x"}, {"ServerInfo", "TxTimeout"}}, -2},
      // never cut to the low 16 bits of the number
      {{{"ServerInfo", "TCPPort", "65536"}}, -2},
      {{{"ServerInfo", "TCPPort", "-1"}}, -2},
      {{{"ServerInfo", "RxTimeout", ""}, {"ServerInfo", "SerialPorts"}}, -3},
      {{{"ServerInfo", "SerialPorts", "COM1 com1 COM2"}, {"COM2"}}, -4},
      {{{"ServerInfo", "SerialPorts", ","},
        {"ServerInfo", "MaxConnections"}}, -15},
      {{{"ServerInfo", "SerialPorts", ""}}, -4},
      {{{"ServerInfo", "SerialPorts", " , \t"}}, -4},
      {{{"ServerInfo", "SerialPorts", "COM1;COM2"}}, -5, "COM1;COM2"},
      {{{"COM1", "Parity", "mark"}, {"COM1", "StopBits", "3"}}, -6, "COM1"},
      {{{"COM1", "ByteSize", "70000"}}, -7, "COM1"},
      {{{"COM1", "StopBits", "1.50"}}, -8, "COM1"},
      // a minus sign never wraps an unsigned field round to "for ever"
      {{{"COM1", "TxTimeout", "-1"}}, -9, "COM1"},
      {{{"COM1", "RxTimeout"}}, -10, "COM1"},
      {{{"COM1", "SlaveAddrList"}, {"COM1", "RtsDelay"}}, -11, "COM1"},
      {{{"ServerInfo", "SerialPorts", "COM2 COM1"}, {"COM1", "Baudrate"},
        {"COM2", "RtsDelay", " -1"}}, -13, "COM2"},
  };
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.code);
    TearDown();
    SetUp();
    EXPECT_EQ(Load(ValidConfig(fault.edits)), fault.code);
    EXPECT_FALSE(gSetting->IsLoaded());
    if (fault.code == -14) {  // no error texts loaded yet
      EXPECT_STREQ(gSetting->GetErrorText(),
                   "Setting error -14 (no text in the error-text file)");
      continue;
    }
    EXPECT_EQ(gSetting->GetErrorText(), Text(fault.code, fault.port));
  }
}

TEST_F(Setting, AFailedLoadKeepsWhatItReadButIsNotLoaded) {
  ASSERT_EQ(Load(ValidConfig({{"ServerInfo", "TCPPort", "7000"},
                              {"COM2", "RtsDelay"}})),
            kSettingBadRtsDelay);
  EXPECT_FALSE(gSetting->IsLoaded());
  EXPECT_EQ(gSetting->GetTCP()->TCPPort, 7000);
  EXPECT_EQ(gSetting->GetPortCount(), 1u);       // COM1 was read
  EXPECT_EQ(gSetting->GetComParam(0), nullptr);  // but is not indexed
  // Once error texts were loaded, a missing language id has its own text.
  EXPECT_EQ(Load(ValidConfig({{"ServerInfo", "ErrorMsgDB"}})), -14);
  EXPECT_EQ(gSetting->GetErrorText(), Text(-14));
  // A corrected file loads without an Unload and holds only its ports.
  ASSERT_EQ(Load(ValidConfig({{"ServerInfo", "SerialPorts", "COM2"}})),
            kSettingOk);
  EXPECT_EQ(gSetting->GetPortCount(), 1u);
  EXPECT_EQ(PortName(0), "COM2");
}

TEST_F(Setting, LoadingWhileLoadedChangesOnlyTheError) {
  ASSERT_EQ(Load(ValidConfig()), kSettingOk);
  EXPECT_EQ(Load(ValidConfig({{"ServerInfo", "TCPPort", "1"},
                              {"ServerInfo", "SerialPorts", "COM2"}})),
            kSettingAlreadyLoaded);
  EXPECT_EQ(gSetting->GetErrorText(), Text(-16));
  EXPECT_TRUE(gSetting->IsLoaded());
  EXPECT_EQ(gSetting->GetTCP()->TCPPort, 1502);
  EXPECT_EQ(PortName(0), "COM1");
  gSetting->Unload();  // drops the ports; the next load reads the file
  EXPECT_EQ(gSetting->GetPortCount(), 0u);
  EXPECT_EQ(gSetting->Load(), kSettingOk);
  EXPECT_EQ(gSetting->GetTCP()->TCPPort, 1);
}

// A text or a port name never acts as a format; a code the file has no
// text for is named, never shown with the previous failure's text.
TEST_F(Setting, ErrorTextsComeFromTheFileAsTheyStand) {
  dir.Write("sparse.ini", "[Setting]\n-5=%n%s%d%s%x\n");
  ASSERT_EQ(Load(ValidConfig({{"ErrorMsgDB", "EN", "sparse.ini"},
                              {"ServerInfo", "SerialPorts", "C%nOM%s"}})),
            -5);
  EXPECT_STREQ(gSetting->GetErrorText(), "%nC%nOM%s%d%s%x");
  ASSERT_EQ(Load(ValidConfig({{"ErrorMsgDB", "EN", "sparse.ini"},
                              {"ServerInfo", "MaxConnections", "many"}})),
            -15);
  EXPECT_STREQ(gSetting->GetErrorText(),
               "Setting error -15 (no text in the error-text file)");
  ASSERT_EQ(Load(ValidConfig({{"ErrorMsgDB", "EN", "sparse.ini"},
                              {"COM1", "Parity", "n"}})),
            -6);
  EXPECT_STREQ(gSetting->GetErrorText(),
               "Setting error -6 (no text in the error-text file): COM1");
}

}  // namespace
