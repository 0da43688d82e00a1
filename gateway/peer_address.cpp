#include "gateway/peer_address.h"

#include <sys/socket.h>

#include "gateway/ipv4_text.h"

AnsiString PeerAddressText(SOCKET socket) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  // A failure leaves the zero address, which reads 0.0.0.0.
  getpeername(socket, reinterpret_cast<sockaddr*>(&address), &length);
  return AnsiString(Ipv4Text(address.sin_addr));
}
