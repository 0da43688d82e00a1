// The options dialog's working copy of the configuration on real files:
// edits that find hand-written spellings, the file written back in byte
// order and read again by both readers, and writes that fail.
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "common/ini_edit.h"
#include "platform/write_signals.h"
#include "tests/support/temp_dir.h"

namespace {

const char kHandWritten[] =
    "top=1\n"
    "; a comment\n"
    "[SystemStart]\n"
    "RunServer=true\n"
    "\n"
    "[ServerInfo]\n"
    "SerialPorts = COM2, com10\n"
    "  = blank key\n"
    "IP=\n"
    "[COM2]\n"
    "Baudrate=9600\n"
    "[com10]\n"
    "baudrate=19200\n"
    "# the end\n";

TEST(IniEdit, EditsFindEverySpellingAndTheFileComesBackSorted) {
  TempDir dir;
  const std::string file = dir.Write("Quorvelin.ini", kHandWritten);
  chmod(file.c_str(), 0640);
  EditableIni ini;
  ASSERT_EQ(ini.Load(file.c_str()), kIniOk);

  EXPECT_EQ(SetIniValue(ini, "COM10", "Baudrate", "38400"), kIniOk);
  EXPECT_EQ(GetIniString(ini, "COM10", "BAUDRATE"), "38400");
  EXPECT_EQ(AddIniKey(ini, "Com10", "BaudRate", "1"), kIniKeyExists);
  EXPECT_EQ(SetIniValue(ini, "COM2", "Parity", "odd"), kIniNoKey);
  EXPECT_EQ(SetIniValue(ini, "COM3", "Parity", "odd"), kIniNoSection);
  AddPortDefaults(ini, "COM2", "1,2");  // the old section keeps its rate
  AddPortDefaults(ini, "COM7", "3");
  EXPECT_EQ(RemoveIniSection(ini, "COM7"), kIniOk);
  EXPECT_EQ(RemoveIniSection(ini, "COM7"), kIniNoSection);

  std::string error;
  ASSERT_EQ(WriteIniFile(ini, ini.FileName(), error), 0) << error;
  EXPECT_EQ(ReadFile(file),
            "top=1\n\n"
            "[COM2]\nBaudrate=9600\nByteSize=8\nParity=odd\nProtocol=RTU\n"
            "RtsDelay=10\nRxTimeout=1000\nSlaveAddrList=1,2\nStopBits=1\n"
            "TxTimeout=1000\n\n"
            "[ServerInfo]\n =blank key\nIP=\nSerialPorts=COM2, com10\n\n"
            "[SystemStart]\nRunServer=true\n\n"
            "[com10]\nbaudrate=38400\n\n");
  struct stat written {};
  ASSERT_EQ(stat(file.c_str(), &written), 0);
  EXPECT_EQ(written.st_mode & 0777, 0640u);

  // Both readers find every entry where it was, the loader's too.
  EditableIni again;
  ASSERT_EQ(again.Load(file.c_str()), kIniOk);
  EXPECT_EQ(again.Sections, ini.Sections);
  MyINI loader;
  ASSERT_EQ(loader.Load(file.c_str()), kIniOk);
  EXPECT_EQ(loader.GetString("COM10", "baudrate"), "38400");
  EXPECT_EQ(loader.GetString("", "top"), "1");
}

TEST(IniEdit, AWriteThatFailsLeavesTheOldFileAndNoLeftovers) {
  TempDir dir;
  const std::string file = dir.Write("Quorvelin.ini", kHandWritten);
  EditableIni ini;
  ASSERT_EQ(ini.Load(file.c_str()), kIniOk);
  ASSERT_EQ(SetIniValue(ini, "COM2", "Baudrate", "115200"), kIniOk);
  std::string error;
  {
    ScopedReadOnly read_only(file);
    EXPECT_EQ(WriteIniFile(ini, file, error), -1);
  }
  EXPECT_EQ(error, "Cannot write " + file + ": Permission denied");
  EXPECT_EQ(ReadFile(file), kHandWritten);

  // The disk fills up part-way: the size limit stands in for it.
  LetWritesFailInsteadOfSignalling();  // as the program does at its start
  rlimit former{};
  getrlimit(RLIMIT_FSIZE, &former);
  rlimit small = former;
  small.rlim_cur = 64;
  setrlimit(RLIMIT_FSIZE, &small);
  const int result = WriteIniFile(ini, file, error);
  setrlimit(RLIMIT_FSIZE, &former);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(error, "Cannot write " + file + ": File too large");
  EXPECT_EQ(ReadFile(file), kHandWritten);
  EXPECT_EQ(FolderEntries(dir.path()), std::set<std::string>{"Quorvelin.ini"});
}

// The reader ends lines at line feeds only: a carriage return without one
// after it hides what follows in the line before, so the copy would lose
// it. Wherever it stands, the file is one the copy does not hold whole.
TEST(IniEdit, ACarriageReturnWithoutALineFeedAnywhereIsReported) {
  const struct {
    const char* where;
    const char* bytes;
    int result;
  } cases[] = {
      {"none: every one ends a line with its line feed", "; note\r\n[S]\r\nk=v\r\n", kIniOk},
      {"ending a comment line", "[S]\nk=v\n; note\r[COM2]\rBaudrate=19200\r\n", kIniLoneCarriageReturn},
      {"last in the file", "[S]\nk=v\r", kIniLoneCarriageReturn},
      {"inside a section name", "[S\rT]\nk=v\n", kIniLoneCarriageReturn},
      {"inside a key", "[S]\nk\rx=v\n", kIniLoneCarriageReturn},
      {"ending every line after a comment", "; note\r[S]\rk=v\rx=y\r", kIniNothingRead},
  };
  TempDir dir;
  for (const auto& file : cases) {
    SCOPED_TRACE(file.where);
    EditableIni ini;
    std::string error;
    EXPECT_EQ(LoadEditableIni(ini, dir.Write("Quorvelin.ini", file.bytes).c_str(), error),
              file.result);
  }
}

}  // namespace
