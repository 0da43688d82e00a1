#include "ui/win_main.h"

#include <stdexcept>

#include "ui/about_dlg.h"
#include "ui/choice_serial_port_dlg.h"
#include "ui/ip_list_dlg.h"
#include "ui/complib/application.h"
#include "ui/complib/termination_signals.h"
#include "ui/main_form.h"
#include "ui/main_unit.h"
#include "ui/options_dlg.h"
#include "ui/unit_list_dlg.h"

int WinMain() {
  try {
    Application->Initialize();
    Application->SetTitle("Quorvelin");
    Application->CreateForm(MainForm);
    Application->CreateForm(AboutDlg);
    Application->CreateForm(OptionsDlg);
    Application->CreateForm(ChoiceSerialPortDlg);
    Application->CreateForm(UnitListDlg);
    Application->CreateForm(IPListDlg);

    // Asked to end by a signal, the program closes as from its window.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::Received, MainForm,
                     &TMainForm::EndSession);
    Application->Run();
  } catch (const std::exception& error) {
    Application->ShowException(error);
  } catch (...) {
    Application->ShowException(std::runtime_error(""));
  }
  return 0;
}
