#include "common/ini_edit.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>

#include "common/ci_string.h"
#include "common/replace_file.h"

namespace {

// The entry named `name` exactly, else the first in another letter case.
template <class Map>
auto FindName(Map& map, const AnsiString& name) {
  auto exact = map.find(name);
  if (exact != map.end()) return exact;
  for (auto entry = map.begin(); entry != map.end(); ++entry) {
    if (SameIgnoringCase(entry->first.str(), name.str())) return entry;
  }
  return map.end();
}

// Reads back as the same key: a line may not start with "=".
std::string KeyText(const AnsiString& key) {
  return key.IsEmpty() ? std::string(" ") : key.str();
}

// The system's reason why ReadWholeFile refused the file.
std::string ReadRefusal(const char* file_name) {
  std::error_code error;
  const auto kind = std::filesystem::status(file_name, error);
  if (error) return error.message();
  if (std::filesystem::is_directory(kind)) return std::strerror(EISDIR);
  if (!std::filesystem::is_regular_file(kind)) return "Not a regular file";
  const int file = open(file_name, O_RDONLY | O_CLOEXEC);
  if (file < 0) return std::strerror(errno);
  close(file);
  return std::strerror(EIO);  // it opens, yet did not read whole
}

bool HasLoneCarriageReturn(const std::string& bytes) {
  for (auto at = bytes.find('\r'); at != std::string::npos; at = bytes.find('\r', at + 1)) {
    if (bytes.compare(at, 2, "\r\n") != 0) return true;
  }
  return false;
}

}  // namespace

int LoadEditableIni(EditableIni& ini, const char* file_name,
                    std::string& error_text) {
  // The bytes themselves, for what the reader passes over without a word.
  std::string bytes;
  if (!ReadWholeFile(file_name, bytes)) {
    error_text = std::string("Cannot read ") + file_name + ": " + ReadRefusal(file_name);
    return kIniCannotOpen;
  }
  MyINI as_loader_reads;
  const int result = as_loader_reads.LoadBytes(bytes, file_name);
  ini.CopyFrom(as_loader_reads);
  if (result != kIniOk) return result;
  if (ini.Sections.empty() && !bytes.empty()) return kIniNothingRead;
  if (HasLoneCarriageReturn(bytes)) return kIniLoneCarriageReturn;
  return kIniOk;
}

const AnsiString* FindIniValue(const EditableIni& ini, const AnsiString& section,
                               const AnsiString& key) {
  const auto keys = FindName(ini.Sections, section);
  if (keys == ini.Sections.end()) return nullptr;
  const auto value = FindName(keys->second, key);
  return value == keys->second.end() ? nullptr : &value->second;
}

AnsiString GetIniString(const EditableIni& ini, const AnsiString& section,
                        const AnsiString& key) {
  const AnsiString* value = FindIniValue(ini, section, key);
  return value == nullptr ? AnsiString() : *value;
}

int SetIniValue(EditableIni& ini, const AnsiString& section,
                const AnsiString& key, const AnsiString& value) {
  const auto keys = FindName(ini.Sections, section);
  if (keys == ini.Sections.end()) return kIniNoSection;
  const auto entry = FindName(keys->second, key);
  if (entry == keys->second.end()) return kIniNoKey;
  entry->second = value;
  return kIniOk;
}

int SetIniValue(EditableIni& ini, const AnsiString& section,
                const AnsiString& key, int value) {
  return SetIniValue(ini, section, key, AnsiString(value));
}

int AddIniKey(EditableIni& ini, const AnsiString& section,
              const AnsiString& key, const AnsiString& value) {
  auto keys = FindName(ini.Sections, section);
  if (keys == ini.Sections.end()) keys = ini.Sections.emplace(section, EditableIni::KeyMap()).first;
  if (FindName(keys->second, key) != keys->second.end()) return kIniKeyExists;
  keys->second.emplace(key, value);
  return kIniOk;
}

int AddIniKey(EditableIni& ini, const AnsiString& section,
              const AnsiString& key, int value) {
  return AddIniKey(ini, section, key, AnsiString(value));
}

int RemoveIniSection(EditableIni& ini, const AnsiString& section) {
  const auto removed = std::erase_if(ini.Sections, [&](const auto& entry) {
    return SameIgnoringCase(entry.first.str(), section.str());
  });
  return removed == 0 ? kIniNoSection : kIniOk;
}

void AddPortDefaults(EditableIni& ini, const AnsiString& port,
                     const AnsiString& unit_ids) {
  AddIniKey(ini, port, "Protocol", "RTU");
  AddIniKey(ini, port, "Baudrate", "9600");
  AddIniKey(ini, port, "Parity", "odd");
  AddIniKey(ini, port, "ByteSize", "8");
  AddIniKey(ini, port, "StopBits", "1");
  AddIniKey(ini, port, "SlaveAddrList", unit_ids);
  AddIniKey(ini, port, "RtsDelay", 10);
  AddIniKey(ini, port, "TxTimeout", 1000);
  AddIniKey(ini, port, "RxTimeout", 1000);
}

std::string IniFileText(const EditableIni& ini) {
  std::string text;
  for (const auto& [section, keys] : ini.Sections) {
    // "[]" is no header to the reader; the unnamed section has none.
    if (!section.IsEmpty()) text += "[" + section.str() + "]\n";
    for (const auto& [key, value] : keys) {
      text += KeyText(key) + "=" + value.str() + "\n";
    }
    text += "\n";
  }
  return text;
}

int WriteIniFile(const EditableIni& ini, const std::string& file_name,
                 std::string& error_text) {
  return ReplaceFileContent(file_name, IniFileText(ini), error_text);
}
