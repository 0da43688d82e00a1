// Faults of our component layer on Qt that the window tests cannot bring
// about: a thread destroyed while blocked in its hand-over to the main
// thread, and exceptions thrown in event handlers.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <stdexcept>

#include "platform/sync.h"
#include "platform/wait.h"
#include "program_fixture.h"
#include "ui/complib/thread.h"

namespace {

using qvtest::AnswerNext;
using qvtest::LoopUntil;

class ComponentLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    app_.Initialize();
    app_.SetTitle("Quorvelin");
  }

  int argc_ = 1;
  char name_[16] = "layer_test";
  char* argv_[2] = {name_, nullptr};
  TApplication app_{argc_, argv_};
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
  ASSERT_TRUE(LoopUntil([&] { return shown.size() == 2; }));
  // The second box may open over the first, inside its loop.
  shown.sort();
  EXPECT_EQ(shown, QStringList({"", "Cannot create file"}));
}

}  // namespace
