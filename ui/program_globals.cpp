#include "ui/program_globals.h"

#include "common/error_message_db.h"
#include "common/setting.h"
#include "gateway/gateway_control.h"
#include "gateway/rtu_func_table.h"
#include "gateway/sio_list.h"
#include "ui/main_unit.h"

void BuildProgramGlobals() {
  MainUnitInit();
  InitSioListGlobals();
  gInitialRTU_FuncTbl.Build();
  gSetting.Build();
  gErrMsgDB.Build();
}

void DestroyProgramGlobals() {
  if (IsGatewayRunning()) StopGateway();
  gErrMsgDB.Destroy();
  gSetting.Destroy();
  gInitialRTU_FuncTbl.Destroy();
  ExitSioListGlobals();
  MainUnitExit();
}
