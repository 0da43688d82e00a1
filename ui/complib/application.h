#pragma once
// TApplication: the application object. It owns the Qt application and
// the forms, picks the display platform, runs the event loop until the
// main form has closed, shows exceptions in a message box, and keeps the
// program's minimised state with its two events (minimise and restore).
#include <QIcon>
#include <QObject>
#include <exception>
#include <memory>
#include <vector>

#include "platform/ansi_string.h"

class QApplication;
class QWidget;

class TApplication : public QObject {
  Q_OBJECT

 public:
  // `argc` and `argv` must outlive the object (they are main's).
  TApplication(int& argc, char** argv);
  // Destroys the forms, the last created first, then the Qt application.
  ~TApplication() override;

  // Builds the Qt application. With no display to reach (no DISPLAY and no
  // WAYLAND_DISPLAY, or one that cannot be reached) and no QT_QPA_PLATFORM,
  // the program runs on the offscreen platform, so a gateway that starts
  // by itself still serves.
  void Initialize();

  void SetTitle(const AnsiString& title);
  const AnsiString& Title() const { return title_; }

  // Creates a form owned by the application and stores it in `reference`.
  // The first form created is the main form.
  template <class Form>
  void CreateForm(Form*& reference) {
    auto form = std::make_unique<Form>();
    reference = form.get();
    AddForm(std::move(form));
  }
  QWidget* MainForm() const { return main_form_; }

  // Shows the main form (unless ShowMainForm is false; minimised when the
  // application is minimised) and runs the event loop until Terminate.
  void Run();
  // Ends the event loop; before Run, makes Run return at once.
  void Terminate();

  // A stop-icon message box with the exception's text under the title.
  // On a display the program picked itself (offscreen, no desktop) there
  // is nobody to press OK: the text then goes to the standard error.
  void ShowException(const std::exception& error);

  void Minimize();
  void Restore();
  bool IsMinimized() const { return minimized_; }

  bool ShowMainForm = true;

  // The icon of every window of the program (and of a tray icon added
  // later).
  void SetIcon(const QIcon& icon);
  QIcon Icon() const { return icon_; }

  // True on the offscreen platform, whether the program chose it for want
  // of a display or the operator asked for it: nobody sees the window.
  bool IsHeadless() const { return headless_; }

 signals:
  void OnMinimize();
  void OnRestore();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AddForm(std::unique_ptr<QWidget> form);
  void EnterMinimized();
  void LeaveMinimized();

  int& argc_;
  char** argv_;
  std::unique_ptr<QApplication> qt_app_;
  std::vector<std::unique_ptr<QWidget>> forms_;
  QWidget* main_form_ = nullptr;
  AnsiString title_;
  QIcon icon_;
  bool minimized_ = false;
  bool terminated_ = false;
  bool headless_ = false;
  // Offscreen by the program's own choice: nobody could answer a message
  // box. Whoever asked for offscreen drives the boxes (the tests do).
  bool chose_headless_ = false;
};

// The one application object, set while it exists.
extern TApplication* Application;
