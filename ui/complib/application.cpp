#include "ui/complib/application.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "ui/complib/text.h"
#include "ui/resources.h"

TApplication* Application = nullptr;

namespace {

// An exception that leaves an event handler is shown, and the event loop
// goes on, instead of unwinding through Qt.
class GuardedApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
      if (Application != nullptr) Application->ShowException(error);
    } catch (...) {
      if (Application != nullptr)
        Application->ShowException(std::runtime_error(""));
    }
    return false;
  }
};

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

TApplication::TApplication(int& argc, char** argv)
    : argc_(argc), argv_(argv) {
  Application = this;
}

TApplication::~TApplication() {
  while (!forms_.empty()) forms_.pop_back();
  qt_app_.reset();
  if (Application == this) Application = nullptr;
}

void TApplication::Initialize() {
  if (qt_app_) return;
  // Unless told which platform to use, the desktop's, and the offscreen
  // one when there is no display or the one named cannot be reached (the
  // DISPLAY of a session that has ended).
  const bool choose_platform = !IsSet("QT_QPA_PLATFORM");
  if (choose_platform) {
    const char* platforms = IsSet("WAYLAND_DISPLAY") ? "wayland;xcb;offscreen"
                            : IsSet("DISPLAY")       ? "xcb;offscreen"
                                                     : "offscreen";
    qputenv("QT_QPA_PLATFORM", platforms);
  }
  qt_app_ = std::make_unique<GuardedApplication>(argc_, argv_);
  headless_ = QGuiApplication::platformName() == "offscreen";
  if (choose_platform) {
    // Programs started from here (a browser for a link) choose their own.
    qunsetenv("QT_QPA_PLATFORM");
    chose_headless_ = headless_;
  }
  // The main form's closing ends the program, not the last window's.
  QApplication::setQuitOnLastWindowClosed(false);
  // The program's own icon until a form sets another.
  SetIcon(LoadIconResource("MAINICON"));
}

void TApplication::SetTitle(const AnsiString& title) {
  title_ = title;
  QApplication::setApplicationName(ToQString(title));
}

void TApplication::AddForm(std::unique_ptr<QWidget> form) {
  if (main_form_ == nullptr) {
    main_form_ = form.get();
    main_form_->installEventFilter(this);
  }
  forms_.push_back(std::move(form));
}

void TApplication::Run() {
  if (main_form_ != nullptr && ShowMainForm) {
    if (minimized_)
      main_form_->showMinimized();
    else
      main_form_->show();
  }
  if (!terminated_) QApplication::exec();
}

void TApplication::Terminate() {
  terminated_ = true;
  QApplication::quit();
}

void TApplication::ShowException(const std::exception& error) {
  if (chose_headless_) {
    std::fprintf(stderr, "%s: %s\n", title_.c_str(), error.what());
    return;
  }
  QMessageBox box(QMessageBox::Critical, ToQString(title_),
                  QString::fromUtf8(error.what()), QMessageBox::Ok);
  box.exec();
}

void TApplication::Minimize() {
  // The state alone: showMinimized would show the form again after a
  // minimise handler that hides it.
  if (main_form_ != nullptr && main_form_->isVisible())
    main_form_->setWindowState(main_form_->windowState() | Qt::WindowMinimized);
  EnterMinimized();
}

void TApplication::Restore() {
  if (main_form_ != nullptr && main_form_->isVisible() &&
      main_form_->isMinimized())
    main_form_->showNormal();
  LeaveMinimized();
}

void TApplication::SetIcon(const QIcon& icon) {
  icon_ = icon;
  QApplication::setWindowIcon(icon);
}

bool TApplication::eventFilter(QObject* watched, QEvent* event) {
  if (watched == main_form_ && event->type() == QEvent::WindowStateChange) {
    if (main_form_->isMinimized())
      EnterMinimized();
    else
      LeaveMinimized();
  }
  return QObject::eventFilter(watched, event);
}

void TApplication::EnterMinimized() {
  if (minimized_) return;
  minimized_ = true;
  emit OnMinimize();
}

void TApplication::LeaveMinimized() {
  if (!minimized_) return;
  minimized_ = false;
  emit OnRestore();
}
