// The window program on a real X server (Xvfb). Each test runs itself a
// second time under xvfb-run: that run drives the windows, this one
// checks what it left behind. The main window and the About box are
// drawn into PNG files that must not be blank; with a stand-in system
// tray, the tray icon replaces the window while minimised.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <cstdlib>
#include <filesystem>

#include "gateway/gateway_control.h"
#include "tests/support/child_process.h"
#include "program_fixture.h"
#include "ui/resources.h"

// On a real X server Qt reaches the desktop bus through libdbus, which
// keeps a buffer for the life of the process; the leak checker of the
// sanitizer builds is told so.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n";
}

namespace {

using namespace qvtest;

const std::string kTrayHost = std::string(QV_BINARY_DIR) + "/tools/tray_host";

// How many distinct colours, and the share of the commonest one.
struct ColourCount {
  int distinct = 0;
  double commonest_share = 1.0;
};

ColourCount CountColours(const QImage& image) {
  QHash<QRgb, int> counts;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y)];
  int commonest = 0;
  for (int count : counts) commonest = std::max(commonest, count);
  const double pixels = double(image.width()) * image.height();
  return {static_cast<int>(counts.size()), pixels > 0 ? commonest / pixels : 1.0};
}

class UnderXvfb : public ProgramTest {
 protected:
  // The folder of the drawing run, set only inside xvfb-run.
  static const char* ChildFolder() { return std::getenv("QV_XVFB_DIR"); }

  // Runs this same test under xvfb-run; false (with its output) when it
  // failed there.
  ::testing::AssertionResult RunUnderXvfb(const std::string& dir) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    ChildProcess run({"/usr/bin/env", "-u", "QT_QPA_PLATFORM", "QV_XVFB_DIR=" + dir,
                      "/usr/bin/xvfb-run", "-a", "-s", "-screen 0 1024x768x24", self,
                      std::string("--gtest_filter=") + test->test_suite_name() + "." +
                          test->name()});
    std::string output, line;
    while (run.ReadLine(line, 120000)) output += line + "\n";
    const int code = run.Wait(60000);
    if (code == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "exit " << code << "\n" << output;
  }

  void SkipWithoutXvfb() {
    if (access("/usr/bin/xvfb-run", X_OK) != 0) GTEST_SKIP() << "no xvfb-run";
  }

  // Saves `widget` as drawn by Qt and the whole X screen as the server
  // shows it.
  static void Shoot(QWidget* widget, const std::string& dir, const std::string& name) {
    EXPECT_TRUE(QTest::qWaitForWindowExposed(widget));
    QTest::qWait(300);  // let the X server catch up before the screen shot
    EXPECT_TRUE(widget->grab().save(QString::fromStdString(dir + "/" + name + ".png")));
    EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(
        QString::fromStdString(dir + "/screen_" + name + ".png")));
  }
};

TEST_F(UnderXvfb, MainWindowAndAboutBoxAreNotBlank) {
  if (const char* dir = ChildFolder()) {
    StartProgram();
    MainForm->show();
    MainForm->RunBtn->click();
    for (int i = 0; i < 5; ++i)
      gMsgFIFO->Push(AnsiString("12:00:0" + std::to_string(i) + " - a line of the log"));
    ASSERT_TRUE(WaitForLogLine("12:00:04"));
    Shoot(MainForm, dir, "main_window");
    AnswerNextModal([&](QWidget* box) {
      Shoot(box, dir, "about_box");
      qobject_cast<TAboutDlg*>(box)->Button1->click();
    });
    MainForm->about2->trigger();
    return;
  }
  SkipWithoutXvfb();
  TempDir out;
  // QV_KEEP_RENDER names a folder that keeps the pictures for a look.
  const char* keep = std::getenv("QV_KEEP_RENDER");
  const std::string dir = keep != nullptr ? keep : out.path();
  ASSERT_TRUE(RunUnderXvfb(dir));

  for (const char* name : {"main_window", "about_box", "screen_main_window",
                           "screen_about_box"}) {
    SCOPED_TRACE(name);
    const QImage image(QString::fromStdString(dir + "/" + name + ".png"));
    ASSERT_FALSE(image.isNull());
    const ColourCount colours = CountColours(image);
    // A blank picture has one colour; a drawn window has text, icons and
    // frames in many shades, none covering nearly everything.
    EXPECT_GE(colours.distinct, 8);
    EXPECT_LT(colours.commonest_share, 0.97);
  }
  EXPECT_EQ(QImage(QString::fromStdString(dir + "/main_window.png")).size(),
            QSize(580, 500));
}

TEST_F(UnderXvfb, WithASystemTrayTheIconStandsInForTheMinimisedWindow) {
  if (ChildFolder() != nullptr) {
    ChildProcess tray({kTrayHost});
    std::string ready;
    ASSERT_TRUE(tray.ReadLine(ready, 30000) && ready == "ready");
    config_.tray_icon = true;
    config_.run_server = true;
    StartProgram();
    ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
    QTimer::singleShot(0, [&] {
      // Started into the tray: no window, the on-line icon in the tray,
      // and the log lines wait in the queue.
      EXPECT_FALSE(MainForm->isVisible());
      EXPECT_TRUE(MainForm->Tray->isVisible());
      EXPECT_EQ(MainForm->Tray->toolTip(), "Quorvelin");
      EXPECT_EQ(MainForm->Tray->icon().pixmap(32).toImage(),
                LoadIconResource("ONLINEICON").pixmap(32).toImage());
      EXPECT_EQ(MainForm->MsgMemo->Lines.Count(), 0);

      // A double click brings the window and the queued lines.
      emit MainForm->Tray->activated(QSystemTrayIcon::DoubleClick);
      EXPECT_TRUE(MainForm->isVisible());
      EXPECT_FALSE(MainForm->isMinimized());
      EXPECT_FALSE(MainForm->Tray->isVisible());
      EXPECT_TRUE(WaitUntil([] { return MainForm->MsgMemo->Lines.Count() > 0; }));

      // Minimised (by the window manager or the program): into the tray.
      Application->Minimize();
      EXPECT_FALSE(MainForm->isVisible());
      EXPECT_TRUE(MainForm->Tray->isVisible());
      // A single click does nothing.
      emit MainForm->Tray->activated(QSystemTrayIcon::Trigger);
      EXPECT_FALSE(MainForm->isVisible());
      emit MainForm->Tray->activated(QSystemTrayIcon::DoubleClick);
      EXPECT_TRUE(MainForm->isVisible());
      EXPECT_FALSE(MainForm->Tray->isVisible());

      // Asked to end (SIGTERM) while hidden in the tray: it stops the
      // gateway without a question and the program ends.
      Application->Minimize();
      EXPECT_FALSE(MainForm->isVisible());
      MainForm->EndSession();
    });
    Application->Run();
    EXPECT_FALSE(MainForm->Tray->isVisible());
    EXPECT_FALSE(IsGatewayRunning());
    return;
  }
  SkipWithoutXvfb();
  if (access(kTrayHost.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << kTrayHost;
  TempDir out;
  EXPECT_TRUE(RunUnderXvfb(out.path()));
}

}  // namespace
