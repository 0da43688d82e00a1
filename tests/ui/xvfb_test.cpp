// The window program on a real X server (Xvfb). The test runs itself a
// second time under xvfb-run: that run draws the main window and the
// About box into PNG files, this one checks that they are not blank.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <cstdlib>
#include <filesystem>

#include "tests/support/child_process.h"
#include "program_fixture.h"

// On a real X server Qt reaches the desktop bus through libdbus, which
// keeps a buffer for the life of the process; the leak checker of the
// sanitizer builds is told so.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n";
}

namespace {

using namespace qvtest;

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
    AnswerNext<TAboutDlg>([&](TAboutDlg* box) {
      Shoot(box, dir, "about_box");
      box->Button1->click();
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

}  // namespace
