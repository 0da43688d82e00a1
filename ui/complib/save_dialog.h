#pragma once
// TSaveDialog: asks the operator for the name of a file to write. No
// extension is added to the name typed and an existing file is not
// questioned: the caller replaces it.
#include "platform/ansi_string.h"

class QWidget;

class TSaveDialog {
 public:
  explicit TSaveDialog(QWidget* owner) : owner_(owner) {}

  // Pairs of description and pattern, all separated by "|", as in
  // "Log File|*.log|All Files|*".
  AnsiString Filter;
  // The name proposed at opening (a wildcard name proposes nothing), and
  // the name chosen after Execute returned true.
  AnsiString FileName;

  // Modal; true when the operator chose a file.
  bool Execute();

 private:
  QWidget* owner_;
};

// "Log File|*.log|All|*.a;*.b" as Qt's "Log File (*.log);;All (*.a *.b)".
AnsiString QtNameFilters(const AnsiString& filter);
