#include "ui/program_globals.h"

#include <cstdio>
#include <cstdlib>

#include "common/error_message_db.h"
#include "common/setting.h"
#include "gateway/gateway_control.h"
#include "gateway/rtu_func_table.h"
#include "gateway/sio_list.h"
#include "platform/write_signals.h"
#include "ui/main_unit.h"

void BuildProgramGlobals() {
  LetWritesFailInsteadOfSignalling();
  MainUnitInit();
  InitSioListGlobals();
  gInitialRTU_FuncTbl.Build();
  gSetting.Build();
  gErrMsgDB.Build();
}

void DestroyProgramGlobals() {
  if (IsGatewayRunning() && !StopGateway()) {
    // A listening socket would not close: the gateway's threads still run
    // and use every object below. Freeing them under those threads would
    // be worse than leaving them to the end of the process.
    std::fflush(nullptr);
    std::_Exit(0);
  }
  gErrMsgDB.Destroy();
  gSetting.Destroy();
  gInitialRTU_FuncTbl.Destroy();
  ExitSioListGlobals();
  MainUnitExit();
}
