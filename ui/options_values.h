#pragma once
// What the options dialog shows for a value of "Quorvelin.ini", and which
// values it may not save: both by the configuration loader's own readers,
// so that the dialog shows what the gateway uses and OK writes nothing
// that the gateway would refuse.
#include "common/ini_edit.h"
#include "common/string_tokenizer.h"
#include "platform/ansi_string.h"

// A number field's text: the number the loader reads from the value (so
// "1000ms" shows 1000), or, when the loader reads none, the value itself.
AnsiString ShownUnsigned(const AnsiString& value);
AnsiString ShownTcpPort(const AnsiString& value);

// The address the loader reads: the value's first word, or "".
AnsiString ShownAddress(const AnsiString& value);

// A start-up switch's check box: on as the loader takes the value.
bool ShownChecked(const AnsiString& value);

// The baud rate the loader reads, as the list writes it; "" for none.
AnsiString ShownBaudrate(const AnsiString& value);

// The item of the page's radio groups for a value; -1 where the group has
// no item for what the loader reads, or the loader reads nothing.
int ParityItem(const AnsiString& value);    // items "odd", "even", "none"
int StopBitsItem(const AnsiString& value);  // items "1 bit", "1.5 bit", "2 bit"
int ByteSizeItem(const AnsiString& value);  // items "7 bit", "8 bit"

// The first value that the dialog shows, that `ini` holds for the server
// or for one of `ports`, and that the loader would refuse: true, with
// `refusal` saying which and where. A key that is missing is not the
// dialog's to add, and is not looked at.
bool FindRefusedValue(const EditableIni& ini, const AnsiStrVector& ports,
                      AnsiString& refusal);
