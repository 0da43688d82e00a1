#include "gateway/gateway_control.h"

#include "common/log_text.h"
#include "common/message_fifo.h"
#include "common/setting.h"
#include "gateway/gateway_threads.h"
#include "gateway/log_line.h"
#include "gateway/sio_list.h"
#include "gateway/tcp_env.h"
#include "platform/thread.h"
#include "platform/wait.h"

HANDLE gServerThread = INVALID_HANDLE_VALUE;

namespace {

// A start that failed after the ports were opened: everything it did is
// undone, and the next start reads the configuration again. Its line is
// kept however many lines a stop before left queued.
bool FailStart(const AnsiString& text) {
  LogLine().LogKept(text);
  gSioList->Close();
  gSetting->Unload();
  return false;
}

// Starts listening and the server thread; false after a logged failure
// that leaves nothing listening.
bool StartServing() {
  if (gWinTCPEnv->LastError() != 0) {
    // The socket layer did not start with the program; every start says so.
    AnsiString text;
    SysErrorText(text, gWinTCPEnv->LastError());
    return FailStart(text);
  }
  const TSetting::TCP* tcp = gSetting->GetTCP();
  if (gWinTCPEnv->Listen(tcp->TCPPort, tcp->IP.c_str()) != 0) {
    const AnsiString code(static_cast<int>(gWinTCPEnv->LastError()));
    gWinTCPEnv->ClearLastError();  // an error of this attempt only
    return FailStart(code);
  }
  HANDLE thread =
      CreateThread(nullptr, 0, ServerThreadProc, &*gWinTCPEnv, 0, nullptr);
  if (thread == nullptr) {
    // Without its server thread the gateway would listen and serve nobody.
    AnsiString text;
    SysErrorText(text, static_cast<std::int32_t>(GetLastError()));
    gWinTCPEnv->StopListening();
    gWinTCPEnv->ClearLastError();
    return FailStart(text);
  }
  gServerThread = thread;
  return true;
}

// Stops listening, waits for the server thread and closes the ports; the
// configuration stays loaded. False when a socket still listens.
bool EndRun() {
  // This thread now waits for every client thread, and when it is the main
  // thread no line reaches the log view meanwhile: the queue keeps them all
  // until the stop is over.
  const MessageFIFO<AnsiString>::KeepEveryLine keep_stop_lines(*gMsgFIFO);
  // The stop begins on the lines: from here no frame starts on any of
  // them, and a thread in its RTS delay, in the gap between frames or
  // waiting for a device's reply wakes now, whatever the port's time-outs.
  // No reply could reach its client any more.
  gSioList->CancelTransfers();
  const std::int32_t result = gWinTCPEnv->StopListening();
  // Nothing listening is no failure here: a stop that failed before may
  // have closed every socket all the same.
  if (result != WinTCPEnv::kOk && result != WinTCPEnv::kNotListening) {
    AnsiString text;
    SysErrorText(text, gWinTCPEnv->LastError());
    gMsgFIFO->PushKept("Error: " + text);  // this line carries no time stamp
    // While a socket still listens the server thread keeps accepting, and
    // the gateway keeps running with its ports and configuration: the
    // lines serve again. (An exchange that the cancel cut short stays
    // abandoned; its line lets the reply pass first.)
    if (gWinTCPEnv->IsListening() != 0) {
      gSioList->ResumeTransfers();
      return false;
    }
  }
  // The closed listening socket ended the server thread's accept loop; it
  // shuts the clients down and waits for their threads before it ends.
  if (IsGatewayRunning()) {
    WaitForSingleObject(gServerThread, INFINITE);
    CloseHandle(gServerThread);
    gServerThread = INVALID_HANDLE_VALUE;
  }
  gSioList->Close();
  gWinTCPEnv->ClearLastError();
  return true;
}

}  // namespace

bool StartGateway() {
  // A gateway whose stop failed may still be running: it has to end before
  // its ports can be opened again. Its configuration is the one the caller
  // has loaded for this start, so it stays.
  if (IsGatewayRunning() && !EndRun()) return false;
  if (!gSetting->IsLoaded()) return false;
  if (gSioList->Open(*gSetting) != 0) return FailStart(gSioList->ErrorText());
  return StartServing();
}

bool StopGateway() {
  if (!EndRun()) return false;
  gSetting->Unload();
  return true;
}

bool IsGatewayRunning() { return gServerThread != INVALID_HANDLE_VALUE; }
