#include "platform/write_signals.h"

#include <csignal>

namespace {

// A handler, not SIG_IGN: an ignored signal stays ignored in the programs
// this one starts (a browser for a link), a handled one does not.
void Disregard(int) {}

}  // namespace

void LetWritesFailInsteadOfSignalling() {
  struct sigaction action = {};
  action.sa_handler = Disregard;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGPIPE, &action, nullptr);
  sigaction(SIGXFSZ, &action, nullptr);
}
