#pragma once
// Editing an INI file held in a TMyINI<AnsiString> and writing it back:
// the working copy of the options dialog.
//
// Names are looked up as the configuration loader reads them, without
// regard to letter case, so a hand-written "[com1]" or "baudrate" is the
// entry that gets edited, keeping its spelling; an entry spelled exactly
// as asked wins over another spelling. New sections and keys take the
// spelling given.
#include <string>

#include "common/my_ini.h"
#include "platform/ansi_string.h"

using EditableIni = TMyINI<AnsiString>;

// Result of AddIniKey when the key is already there.
inline constexpr int kIniKeyExists = -5;
// Results of LoadEditableIni for a file that the copy does not hold whole:
// bytes in it but no key, or a carriage return that ends no line.
inline constexpr int kIniNothingRead = -8;
inline constexpr int kIniLoneCarriageReturn = -9;

// Reads the file as the configuration loader reads it: a key or a section
// written twice, in any letter case, is one entry, with the spelling met
// first and the value met last. So the copy edits the value the gateway
// uses and writes each name once. Results as TMyINI::Load, with
// `error_text` naming the file and the system's reason on kIniCannotOpen
// ("Cannot read Quorvelin.ini: Permission denied"); kIniNothingRead when a
// file that is not empty gave no key at all; kIniLoneCarriageReturn when a
// carriage return is not followed by a line feed. The reader ends lines at
// line feeds only, so the lines behind such a return become part of the
// line before it (of a comment, say), and the copy would lose them.
int LoadEditableIni(EditableIni& ini, const char* file_name,
                    std::string& error_text);

// The stored value, or null when the section or the key is missing.
const AnsiString* FindIniValue(const EditableIni& ini, const AnsiString& section,
                               const AnsiString& key);

// The value, or "" when the section or the key is missing.
AnsiString GetIniString(const EditableIni& ini, const AnsiString& section,
                        const AnsiString& key);

// Replaces the value of an existing key: 0, kIniNoSection or kIniNoKey.
// Never adds anything.
int SetIniValue(EditableIni& ini, const AnsiString& section,
                const AnsiString& key, const AnsiString& value);
int SetIniValue(EditableIni& ini, const AnsiString& section,
                const AnsiString& key, int value);

// Adds the section when missing, then the key when missing: 0, or
// kIniKeyExists with the existing value kept.
int AddIniKey(EditableIni& ini, const AnsiString& section,
              const AnsiString& key, const AnsiString& value);
int AddIniKey(EditableIni& ini, const AnsiString& section,
              const AnsiString& key, int value);

// Erases the section in every spelling: 0, or kIniNoSection.
int RemoveIniSection(EditableIni& ini, const AnsiString& section);

// The nine keys of a new serial port, each added only when missing, so a
// section left in the file keeps what it holds.
void AddPortDefaults(EditableIni& ini, const AnsiString& port,
                     const AnsiString& unit_ids);

// The file as WriteIniFile writes it: sections and keys in byte order,
// each section followed by one empty line. Keys above the first header
// (the unnamed section) come first without a header line, where the
// reader finds them again.
std::string IniFileText(const EditableIni& ini);

// Replaces the file with IniFileText as one step (see ReplaceFileContent):
// 0, or -1 with `error_text` naming the file and the system's reason.
int WriteIniFile(const EditableIni& ini, const std::string& file_name,
                 std::string& error_text);
