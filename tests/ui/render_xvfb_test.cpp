// The main window and the About box drawn on a real X server (Xvfb): the
// pictures are saved as PNG files and must not be blank. The test runs
// itself a second time under xvfb-run; that run draws, this one checks.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <cstdlib>
#include <filesystem>

#include "process_support.h"
#include "program_fixture.h"

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

class RenderUnderXvfb : public ProgramTest {
 protected:
  // The drawing run, inside xvfb-run, with an X display.
  void Draw(const std::string& out) {
    StartProgram();
    MainForm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(MainForm));
    MainForm->RunBtn->click();
    for (int i = 0; i < 5; ++i)
      gMsgFIFO->Push(AnsiString("12:00:0" + std::to_string(i) + " - a line of the log"));
    ASSERT_TRUE(WaitForLogLine("12:00:04"));
    QTest::qWait(300);  // let the X server catch up before the screen shot
    ASSERT_TRUE(MainForm->grab().save(QString::fromStdString(out + "/main_window.png")));
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_TRUE(screen->grabWindow(0).save(QString::fromStdString(out + "/screen_main.png")));

    AnswerNextModal([&](QWidget* box) {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(box));
      QTest::qWait(300);
      EXPECT_TRUE(box->grab().save(QString::fromStdString(out + "/about_box.png")));
      EXPECT_TRUE(screen->grabWindow(0).save(QString::fromStdString(out + "/screen_about.png")));
      qobject_cast<TAboutDlg*>(box)->Button1->click();
    });
    MainForm->about2->trigger();
  }
};

TEST_F(RenderUnderXvfb, MainWindowAndAboutBoxAreNotBlank) {
  if (const char* out = std::getenv("QV_RENDER_DIR")) {
    Draw(out);
    return;
  }
  if (access("/usr/bin/xvfb-run", X_OK) != 0) GTEST_SKIP() << "no xvfb-run";
  TempFolder out;
  // Kept for a look by eye when QV_KEEP_RENDER names a folder.
  const char* keep = std::getenv("QV_KEEP_RENDER");
  const std::string dir = keep != nullptr ? keep : out.path();
  const std::string self = std::filesystem::read_symlink("/proc/self/exe");
  ChildOptions options;
  options.output_file = out.path() + "/draw.log";
  options.unset = {"QT_QPA_PLATFORM"};
  options.set = {"QV_RENDER_DIR=" + dir};
  const int code = RunToEnd(
      {"/usr/bin/xvfb-run", "-a", "-s", "-screen 0 1024x768x24", self,
       "--gtest_filter=RenderUnderXvfb.MainWindowAndAboutBoxAreNotBlank"},
      options);
  ASSERT_EQ(code, 0) << ReadFile(out.path() + "/draw.log");

  for (const char* name : {"main_window.png", "about_box.png", "screen_main.png",
                           "screen_about.png"}) {
    SCOPED_TRACE(name);
    const QImage image(QString::fromStdString(dir + "/" + name));
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
