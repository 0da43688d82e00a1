// Our component-library layer on Qt: the thread object and its hand-over
// to the main thread, the event, the memo's lines and their file, the
// message box, the save dialog, the application's minimised state and the
// termination signals.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/sync.h"
#include "platform/wait.h"
#include "ui/complib/application.h"
#include "ui/complib/event.h"
#include "ui/complib/memo.h"
#include "ui/complib/message_dlg.h"
#include "ui/complib/termination_signals.h"
#include "ui/complib/thread.h"
#include "ui_test_support.h"

namespace {

class ComponentLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = std::make_unique<TApplication>(argc_, argv_);
    app_->Initialize();
    app_->SetTitle("Quorvelin");
  }

  std::string TempDir() {
    std::string pattern = ::testing::TempDir() + "qv_layer_XXXXXX";
    const char* made = mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr);
    return pattern;
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  int argc_ = 1;
  char name_[16] = "layer_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<TApplication> app_;
};

// A thread whose body the test supplies.
class LambdaThread : public TThread {
 public:
  explicit LambdaThread(std::function<void(LambdaThread&)> body)
      : body_(std::move(body)) {}
  ~LambdaThread() override { TerminateAndWait(); }
  using TThread::Synchronize;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(LambdaThread&)> body_;
};

TEST_F(ComponentLayer, SynchronizeRunsEachCallInTheMainThreadInOrder) {
  std::vector<int> seen;
  std::atomic<bool> all_main{true};
  QThread* const main_thread = QThread::currentThread();
  LambdaThread worker([&](LambdaThread& self) {
    for (int i = 0; i < 200; ++i) {
      self.Synchronize([&, i] {
        if (QThread::currentThread() != main_thread) all_main = false;
        seen.push_back(i);  // no lock: only the main thread touches it
      });
    }
  });
  EXPECT_TRUE(worker.Suspended());
  worker.Resume();
  ASSERT_TRUE(WaitUntil([&] { return worker.Finished(); }));
  ASSERT_EQ(seen.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(seen[i], i);
  EXPECT_TRUE(all_main);
}

TEST_F(ComponentLayer, ThreadStaysSuspendedUntilResumedAndResumeTwiceIsHarmless) {
  std::atomic<int> runs{0};
  HANDLE started = CreateEventA(nullptr, 1, 0, nullptr);
  {
    LambdaThread worker([&](LambdaThread&) {
      ++runs;
      SetEvent(started);
    });
    EXPECT_EQ(WaitForSingleObject(started, 50), WAIT_TIMEOUT);
    EXPECT_EQ(runs.load(), 0);
    worker.Resume();
    worker.Resume();
    EXPECT_EQ(WaitForSingleObject(started, INFINITE), WAIT_OBJECT_0);
    worker.WaitFor();
  }
  EXPECT_EQ(runs.load(), 1);
  CloseHandle(started);
}

TEST_F(ComponentLayer, DestroyingAThreadBlockedInSynchronizeServesTheCall) {
  // The main thread never returns to its event loop here: the destructor
  // itself must run the pending call, or both threads would wait for ever.
  HANDLE in_sync = CreateEventA(nullptr, 1, 0, nullptr);
  bool called = false;
  bool saw_terminated = false;
  {
    LambdaThread worker([&](LambdaThread& self) {
      SetEvent(in_sync);
      self.Synchronize([&] { called = true; });
      saw_terminated = self.Terminated();
    });
    worker.Resume();
    ASSERT_EQ(WaitForSingleObject(in_sync, INFINITE), WAIT_OBJECT_0);
  }
  EXPECT_TRUE(called);
  EXPECT_TRUE(saw_terminated);
  CloseHandle(in_sync);
}

TEST_F(ComponentLayer, DestroyingANeverResumedThreadRunsItToItsEnd) {
  std::atomic<bool> ran{false};
  {
    LambdaThread worker([&](LambdaThread& self) { ran = self.Terminated(); });
  }
  EXPECT_TRUE(ran);
}

TEST_F(ComponentLayer, ExceptionOfASynchronizedCallReachesTheThread) {
  std::string caught;
  LambdaThread worker([&](LambdaThread& self) {
    try {
      self.Synchronize([] { throw std::runtime_error("in the main thread"); });
    } catch (const std::runtime_error& error) {
      caught = error.what();
    }
  });
  worker.Resume();
  ASSERT_TRUE(WaitUntil([&] { return worker.Finished(); }));
  EXPECT_EQ(caught, "in the main thread");
}

TEST_F(ComponentLayer, EventHandleWorksWithTheWaitFunctions) {
  TEvent event(nullptr, false, false, "");
  HANDLE other = CreateEventA(nullptr, 1, 1, nullptr);
  const HANDLE both[2] = {event.Handle(), other};
  // Not signalled: the other handle ends the wait.
  EXPECT_EQ(WaitForMultipleObjects(2, both, 0, 0), WAIT_OBJECT_0 + 1);
  event.SetEvent();
  EXPECT_EQ(WaitForMultipleObjects(2, both, 0, 0), WAIT_OBJECT_0);
  // Auto-reset: the wait took it.
  EXPECT_EQ(WaitForSingleObject(event.Handle(), 0), WAIT_TIMEOUT);
  event.SetEvent();
  event.ResetEvent();
  EXPECT_EQ(WaitForSingleObject(event.Handle(), 0), WAIT_TIMEOUT);
  CloseHandle(other);
}

TEST_F(ComponentLayer, MemoLinesCountAsTheFileWillHoldThem) {
  TMemo memo;
  EXPECT_EQ(memo.Lines.Count(), 0);
  memo.Lines.Add("first");
  memo.Lines.Add("");
  memo.Lines.Add("third\nfourth");
  ASSERT_EQ(memo.Lines.Count(), 4);
  EXPECT_EQ(memo.Lines.Strings(3), AnsiString("fourth"));
  const std::string file = TempDir() + "/saved";
  memo.Lines.SaveToFile(file.c_str());
  EXPECT_EQ(ReadFile(file), "first\r\n\r\nthird\r\nfourth\r\n");
  // An empty view writes an empty file, not one line end.
  memo.Clear();
  memo.Lines.SaveToFile(file.c_str());
  EXPECT_EQ(ReadFile(file), "");
}

TEST_F(ComponentLayer, MessageDlgEscapeGivesNo) {
  AnswerNext<QMessageBox>([](QMessageBox* box) {
    EXPECT_EQ(box->windowTitle(), "Warning");
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    QTest::keyClick(box, Qt::Key_Escape);
  });
  EXPECT_EQ(MessageDlg("Proceed?", mtWarning, {mbYes, mbNo}, 0), mrNo);
}

TEST_F(ComponentLayer, MinimizeAndRestoreRaiseTheirEventsOnce) {
  QWidget* form = nullptr;
  app_->CreateForm(form);
  QSignalSpy minimized(app_.get(), &TApplication::OnMinimize);
  QSignalSpy restored(app_.get(), &TApplication::OnRestore);

  // Hidden main form: the state changes all the same.
  app_->Minimize();
  app_->Minimize();
  EXPECT_TRUE(app_->IsMinimized());
  EXPECT_EQ(minimized.count(), 1);
  app_->Restore();
  EXPECT_FALSE(app_->IsMinimized());
  EXPECT_EQ(restored.count(), 1);

  // Shown main form: its window state follows.
  form->show();
  app_->Minimize();
  EXPECT_TRUE(form->isMinimized());
  EXPECT_EQ(minimized.count(), 2);
  // The window's own state change (as a window manager makes it) counts.
  form->showNormal();
  EXPECT_FALSE(app_->IsMinimized());
  EXPECT_EQ(restored.count(), 2);
}

TEST_F(ComponentLayer, ExceptionInAnEventHandlerIsShownAndTheLoopGoesOn) {
  QStringList shown;
  for (int i = 0; i < 2; ++i) {
    AnswerNext<QMessageBox>([&](QMessageBox* box) {
      EXPECT_EQ(box->windowTitle(), "Quorvelin");
      EXPECT_EQ(box->icon(), QMessageBox::Critical);
      shown << box->text();
      box->button(QMessageBox::Ok)->click();
    });
  }
  QTimer::singleShot(0, [] { throw std::runtime_error("Cannot create file"); });
  // Anything else than a standard exception shows an empty text.
  QTimer::singleShot(0, [] { throw 42; });
  ASSERT_TRUE(WaitUntil([&] { return shown.size() == 2; }));
  // The second box may open over the first, inside its loop.
  shown.sort();
  EXPECT_EQ(shown, QStringList({"", "Cannot create file"}));
}

TEST_F(ComponentLayer, TerminationSignalArrivesInTheEventLoop) {
  {
    TerminationSignals signals_;
    QSignalSpy received(&signals_, &TerminationSignals::Received);
    std::raise(SIGTERM);
    ASSERT_TRUE(WaitUntil([&] { return received.count() == 1; }));
    EXPECT_EQ(received.at(0).at(0).toInt(), SIGTERM);
  }
  // The previous disposition is back.
  struct sigaction now = {};
  sigaction(SIGTERM, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace
