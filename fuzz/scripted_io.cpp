#include "fuzz/scripted_io.h"

#include <algorithm>
#include <cstring>

#include "gateway/serial_io.h"
#include "gateway/tcp_env.h"

namespace {

FuzzScript* current_script = nullptr;

constexpr int kFailed = -1;

// Next piece into `buffer`: its byte count, 0 at the end, kFailed.
int NextPiece(void* buffer, std::size_t capacity) {
  FuzzScript& script = *current_script;
  if (script.size == 0) return 0;
  const std::uint8_t control = script.data[0];
  ++script.data;
  --script.size;
  if (control == 0xFF) return kFailed;
  std::size_t count = control == 0 ? script.size : control;
  count = std::min({count, script.size, capacity});
  if (count == 0) return 0;
  std::memcpy(buffer, script.data, count);
  script.last_piece_offset = script.delivered.size();
  script.delivered.insert(script.delivered.end(), script.data,
                          script.data + count);
  script.data += count;
  script.size -= count;
  return static_cast<int>(count);
}

}  // namespace

void SetFuzzScript(FuzzScript* script) { current_script = script; }

BasicClient::BasicClient(ClientStub* stub)
    : env_(stub->env), socket_(stub->socket) {
  delete stub;
}

BasicClient::~BasicClient() = default;

int BasicClient::Recv(void* buffer, std::int32_t capacity,
                      std::int32_t /*flags*/) {
  return NextPiece(buffer, static_cast<std::size_t>(std::max(capacity, 0)));
}

SerialIO::SerialIO() : impl_(nullptr) {}

SerialIO::~SerialIO() = default;

std::int32_t SerialIO::Read(void* buffer, DWORD capacity) {
  const int got = NextPiece(buffer, capacity);
  return got == kFailed ? -2 : got;
}
