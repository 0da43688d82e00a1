#include "common/setting.h"

#include <unordered_map>
#include <vector>

#include "common/config_values.h"
#include "common/error_message_db.h"
#include "common/my_ini.h"
#include "common/string_tokenizer.h"

GlobalObject<TSetting> gSetting;

namespace {

using ComParamMap = std::unordered_map<ci_string, TSetting::ComParam>;
using ComParamMapIterator = ComParamMap::iterator;
using ComParamMapIteratorVector = std::vector<ComParamMapIterator>;

constexpr std::size_t kPortBucketHint = 100;
constexpr const char* kPortListDelimiters = ", \t";

}  // namespace

class TSetting::Impl {
 public:
  Impl() : ports(kPortBucketHint) {}

  int Load();
  int LoadErrorTexts();
  int LoadServerInfo(ci_string& port_list);
  int LoadPorts(const ci_string& port_list);
  int LoadPort(const ci_string& name);

  void SetError(int code);
  void SetError(int code, const ci_string& port_name);

  // The value of `key` as `reader` reads it; a missing key reads as "".
  template <class T>
  bool ReadKey(const ci_string& section, const char* key,
               bool (*reader)(std::string_view, T&), T& value) const {
    return reader(ToView(file.GetString(section, key)), value);
  }

  bool IsSwitchOn(const char* key) const;

  TCP server;
  int error_code = -1;
  std::uint32_t max_connections = 0;
  AnsiString error_text;
  const AnsiString error_section = "Setting";
  bool loaded = false;
  MyINI file;
  ComParamMap ports;
  ComParamMapIteratorVector port_index;
};

// Every failure returns at once; what earlier steps stored stays stored.
int TSetting::Impl::Load() {
  if (loaded) {
    SetError(kSettingAlreadyLoaded);
    return kSettingAlreadyLoaded;
  }
  if (file.Load(kConfigFileName) != kIniOk) {
    error_text = AnsiString("can't load ") + kConfigFileName;
    return kSettingCannotLoad;
  }
  if (const int result = LoadErrorTexts(); result != kSettingOk) return result;
  ci_string port_list;
  if (const int result = LoadServerInfo(port_list); result != kSettingOk) {
    return result;
  }
  if (const int result = LoadPorts(port_list); result != kSettingOk) {
    return result;
  }
  error_code = kSettingOk;
  loaded = true;
  return kSettingOk;
}

// From here on the failure texts come from the file just loaded.
int TSetting::Impl::LoadErrorTexts() {
  ci_string language;
  if (file.GetValue("ServerInfo", "ErrorMsgDB", language) != kIniOk) {
    SetError(kSettingBadErrorMsgDB);  // a text only from an earlier load
    return kSettingBadErrorMsgDB;
  }
  ci_string file_name;
  if (file.GetValue("ErrorMsgDB", language, file_name) != kIniOk) {
    error_text.sprintf("can't load %.*s=%.*s from %s",
                       static_cast<int>(language.size()), language.data(),
                       static_cast<int>(file_name.size()), file_name.data(),
                       kConfigFileName);
    return kSettingBadErrorMsgDB;
  }
  const std::string name(ToView(file_name));
  if (!gErrMsgDB->Load(name.c_str())) {
    error_text = AnsiString("can't load ") + AnsiString(name);
    return kSettingBadErrorMsgDB;
  }
  return kSettingOk;
}

int TSetting::Impl::LoadServerInfo(ci_string& port_list) {
  const ci_string section = "ServerInfo";
  if (!ReadKey(section, "TCPPort", ReadTcpPort, server.TCPPort)) {
    SetError(kSettingBadTcpPort);
    return kSettingBadTcpPort;
  }
  // IP is optional: only a value with a word in it replaces the old one.
  std::string ip;
  if (ReadKey(section, "IP", ReadAddress, ip)) server.IP = ip;
  if (!ReadKey(section, "TxTimeout", ReadUnsigned, server.TxTimeout) ||
      !ReadKey(section, "RxTimeout", ReadUnsigned, server.RxTimeout)) {
    SetError(kSettingBadServerTimeout);
    return kSettingBadServerTimeout;
  }
  if (file.GetValue(section, "SerialPorts", port_list) != kIniOk) {
    SetError(kSettingBadPortList);
    return kSettingBadPortList;
  }
  if (!ReadKey(section, "MaxConnections", ReadUnsigned, max_connections)) {
    SetError(kSettingBadMaxConnections);
    return kSettingBadMaxConnections;
  }
  return kSettingOk;
}

int TSetting::Impl::LoadPorts(const ci_string& port_list) {
  ports.clear();
  port_index.clear();
  // The index follows the order of SerialPorts, so ports are opened and
  // reported in the order the operator wrote them.
  std::vector<ci_string> order;
  StringTokenizer<ci_string> names(port_list, kPortListDelimiters);
  while (names.HasMoreTokens()) {
    ci_string name;
    names.NextToken(name);
    if (const int result = LoadPort(name); result != kSettingOk) return result;
    order.push_back(name);
  }
  if (ports.empty()) {
    SetError(kSettingBadPortList);
    return kSettingBadPortList;
  }
  for (const ci_string& name : order) port_index.push_back(ports.find(name));
  return kSettingOk;
}

// Reads the section of one port, in the order of its checks.
int TSetting::Impl::LoadPort(const ci_string& name) {
  ComParam port;
  port.PortName = name;
  if (!ReadKey(name, "baudrate", ReadUnsigned, port.Baudrate)) {
    SetError(kSettingBadBaudrate, name);
    return kSettingBadBaudrate;
  }
  if (!ReadKey(name, "parity", ReadParity, port.Parity)) {
    SetError(kSettingBadParity, name);
    return kSettingBadParity;
  }
  if (!ReadKey(name, "ByteSize", ReadByteSize, port.ByteSize)) {
    SetError(kSettingBadByteSize, name);
    return kSettingBadByteSize;
  }
  if (!ReadKey(name, "StopBits", ReadStopBits, port.StopBits)) {
    SetError(kSettingBadStopBits, name);
    return kSettingBadStopBits;
  }
  if (!ReadKey(name, "TxTimeout", ReadUnsigned, port.TxTimeout)) {
    SetError(kSettingBadPortTxTimeout, name);
    return kSettingBadPortTxTimeout;
  }
  if (!ReadKey(name, "RxTimeout", ReadUnsigned, port.RxTimeout)) {
    SetError(kSettingBadPortRxTimeout, name);
    return kSettingBadPortRxTimeout;
  }
  if (file.GetValue(name, "SlaveAddrList", port.SlaveAddrList) != kIniOk) {
    SetError(kSettingNoSlaveAddrList, name);
    return kSettingNoSlaveAddrList;
  }
  if (!ReadKey(name, "RtsDelay", ReadUnsigned, port.RtsDelay)) {
    SetError(kSettingBadRtsDelay, name);
    return kSettingBadRtsDelay;
  }
  if (!ports.emplace(name, std::move(port)).second) {
    SetError(kSettingBadPortList);  // the same port named twice
    return kSettingBadPortList;
  }
  return kSettingOk;
}

// A code without a text in the error-text file (or before any file was
// loaded) still names the failure: the previous failure's text, or none at
// all, would send the operator after the wrong fault.
void TSetting::Impl::SetError(int code) {
  error_code = code;
  if (!gErrMsgDB->GetMessage(error_section, code, error_text)) {
    error_text = MissingErrorText(error_section, code);
  }
}

void TSetting::Impl::SetError(int code, const ci_string& port_name) {
  error_code = code;
  const AnsiString name(ToView(port_name));
  if (!gErrMsgDB->Format(error_section, code, error_text, name)) {
    error_text = MissingErrorText(error_section, code, name);
  }
}

bool TSetting::Impl::IsSwitchOn(const char* key) const {
  return ReadSwitch(ToView(file.GetString("SystemStart", key)));
}

TSetting::TSetting() : impl_(new Impl) {}

TSetting::~TSetting() { delete impl_; }

int TSetting::Load() { return impl_->Load(); }

void TSetting::Unload() {
  impl_->port_index.clear();
  impl_->ports.clear();
  impl_->loaded = false;
}

const char* TSetting::GetErrorText() const { return impl_->error_text.c_str(); }

bool TSetting::IsLoaded() const { return impl_->loaded; }

const TSetting::TCP* TSetting::GetTCP() const { return &impl_->server; }

std::uint32_t TSetting::GetMaxConnections() const {
  return impl_->max_connections;
}

std::uint32_t TSetting::GetPortCount() const {
  return static_cast<std::uint32_t>(impl_->ports.size());
}

const TSetting::ComParam* TSetting::GetComParam(std::uint32_t index) const {
  if (index >= impl_->port_index.size()) return nullptr;
  return &impl_->port_index[index]->second;
}

bool TSetting::IsRunServer() const { return impl_->IsSwitchOn("RunServer"); }

bool TSetting::IsTrayIcon() const { return impl_->IsSwitchOn("TrayIcon"); }
