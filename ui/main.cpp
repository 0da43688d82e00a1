// The quorvelin program: the application object first, then every global
// object, the entry, and the way out in the reverse order.
#include "ui/complib/application.h"
#include "ui/program_globals.h"
#include "ui/win_main.h"

int main(int argc, char* argv[]) {
  TApplication application(argc, argv);
  BuildProgramGlobals();
  const int result = WinMain();
  DestroyProgramGlobals();
  return result;
}
