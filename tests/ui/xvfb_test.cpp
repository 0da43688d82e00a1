// The window program on a real X server (Xvfb). The test runs itself a
// second time under xvfb-run: that run draws the main window, the About
// box and the three pickers into PNG files (as Qt draws them and as the X screen shows
// them), this one checks that they are not blank.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <cstdlib>
#include <filesystem>

#include "program_fixture.h"
#include "tests/support/child_process.h"

// On a real X server Qt reaches the desktop bus through libdbus, which
// keeps a buffer for the life of the process; the leak checker of the
// sanitizer builds is told so.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n";
}

namespace {

using namespace qvtest;

void Shoot(QWidget* widget, const std::string& dir, const std::string& name) {
  EXPECT_TRUE(QTest::qWaitForWindowExposed(widget));
  QTest::qWait(300);  // let the X server catch up before the screen shot
  EXPECT_TRUE(widget->grab().save(QString::fromStdString(dir + "/" + name + ".png")));
  EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(
      QString::fromStdString(dir + "/screen_" + name + ".png")));
}

// A blank picture has one colour; a drawn window has text, icons and
// frames in many shades, none covering nearly everything.
void ExpectDrawn(const QImage& image) {
  ASSERT_FALSE(image.isNull());
  QHash<QRgb, int> counts;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y)];
  int commonest = 0;
  for (int count : counts) commonest = std::max(commonest, count);
  EXPECT_GE(counts.size(), 8);
  EXPECT_LT(commonest, 0.97 * image.width() * image.height());
}

// Each picker prepared as the options dialog prepares it, then cancelled.
void ShootPickers(const std::string& dir) {
  ChoiceSerialPortDlg->FillPorts({"COM1"});
  ChoiceSerialPortDlg->MarkUsedIds({"1-10"});
  AnswerNext<TChoiceSerialPortDlg>([&](TChoiceSerialPortDlg* dlg) {
    Shoot(dlg, dir, "choice_serial_port");
    dlg->CancelBtn->click();
  });
  ChoiceSerialPortDlg->ShowModal();

  UnitListDlg->MarkIds({"1-3"}, {"5", "7"});
  AnswerNext<TUnitListDlg>([&](TUnitListDlg* dlg) {
    dlg->clbUnitIds->SetSelected(6, true);
    Shoot(dlg, dir, "unit_list");
    dlg->BitBtn2->click();
  });
  UnitListDlg->ShowModal();

  AnswerNext<TIPListDlg>([&](TIPListDlg* dlg) {
    Shoot(dlg, dir, "ip_list");
    dlg->BitBtn2->click();
  });
  IPListDlg->ShowModal();
}

// Both pages of the options dialog, opened from the stopped window.
void ShootOptions(const std::string& dir) {
  AnswerNext<TOptionsDlg>([&](TOptionsDlg* dlg) {
    Shoot(dlg, dir, "options_page1");
    TTreeView* tree = dlg->tvOptions;
    const QPoint port = tree->visualItemRect(tree->Item(1)).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, port);
    Shoot(dlg, dir, "options_port");
    dlg->CancelBtn->click();
  });
  MainForm->StopBtn->click();
  MainForm->imOptions->trigger();
}

using UnderXvfb = ProgramTest;

TEST_F(UnderXvfb, WindowsAndDialogsAreNotBlank) {
  if (const char* dir = std::getenv("QV_XVFB_DIR")) {  // the drawing run
    ASSERT_TRUE(ports_.Link("COM2", "/nonexistent"));
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
    ShootPickers(dir);
    ShootOptions(dir);
    return;
  }
  if (access("/usr/bin/xvfb-run", X_OK) != 0) GTEST_SKIP() << "no xvfb-run";
  TempDir out;
  const std::string& dir = out.path();
  ChildProcess run({"/usr/bin/env", "-u", "QT_QPA_PLATFORM", "QV_XVFB_DIR=" + dir,
                    "/usr/bin/xvfb-run", "-a", "-s", "-screen 0 1024x768x24",
                    std::filesystem::read_symlink("/proc/self/exe"),
                    "--gtest_filter=UnderXvfb.WindowsAndDialogsAreNotBlank"});
  std::string output, line;
  while (run.ReadLine(line, 120000)) output += line + "\n";
  ASSERT_EQ(run.Wait(60000), 0) << output;

  for (const std::string name : {"main_window", "about_box", "choice_serial_port",
                                 "unit_list", "ip_list", "options_page1",
                                 "options_port"}) {
    SCOPED_TRACE(name);
    ExpectDrawn(QImage(QString::fromStdString(dir + "/" + name + ".png")));
    ExpectDrawn(QImage(QString::fromStdString(dir + "/screen_" + name + ".png")));
  }
  EXPECT_EQ(QImage(QString::fromStdString(dir + "/main_window.png")).size(),
            QSize(580, 500));
}

}  // namespace
