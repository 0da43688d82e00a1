#pragma once
// Turns the signals that ask a program to end (SIGTERM, SIGINT, SIGHUP)
// into a Qt signal in the main thread, so that ending the program this
// way closes it as cleanly as closing its window does.
#include <QObject>

class QSocketNotifier;

class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  // One instance at a time; the previous dispositions come back when it
  // is destroyed.
  TerminationSignals();
  ~TerminationSignals() override;

 signals:
  void Received(int signal_number);

 private:
  void ReadPipe();

  QSocketNotifier* notifier_ = nullptr;
};
