#pragma once
// The globals of the window program that tie the gateway engine to its
// forms: the stop event and the log display thread (built with the log
// queue and the TCP environment by MainUnitInit), and the form pointers
// that the entry fills.
#include "ui/complib/event.h"

class ShowMsgThread;
class TAboutDlg;
class TChoiceSerialPortDlg;
class TIPListDlg;
class TMainForm;
class TOptionsDlg;
class TUnitListDlg;

// Unnamed, auto-reset; its signal ends the log display thread.
extern TEvent* gStopEvent;
// Created suspended; the main window's first showing resumes it.
extern ShowMsgThread* gShowMsgThread;

extern TMainForm* MainForm;
extern TAboutDlg* AboutDlg;
extern TOptionsDlg* OptionsDlg;
extern TChoiceSerialPortDlg* ChoiceSerialPortDlg;
extern TUnitListDlg* UnitListDlg;
extern TIPListDlg* IPListDlg;

// Builds gMsgFIFO, gWinTCPEnv, gStopEvent and gShowMsgThread, in this
// order. Nothing here may use the configuration, the error texts or the
// port table: they are built afterwards.
void MainUnitInit();
// Ends the log display thread and destroys the four in reverse order.
void MainUnitExit();
