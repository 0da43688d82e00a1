// The options dialog's buttons and menu item that open the pickers.
#include "ui/options_dlg.h"

void TOptionsDlg::ChoiceUnitIdsBtnClick() {}
void TOptionsDlg::Button1Click() {}
void TOptionsDlg::miAddSerialPortClick() {}
