#pragma once
// Helpers of the window tests: answering a modal dialog that the code
// under test opens (its own event loop runs, so the answer comes from a
// timer), and waiting for the event loop to bring something about.
#include <QApplication>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>

// Once a modal widget of type Dialog is open, runs `answer` on it (once).
// The interval is only how often to look; nothing depends on how soon the
// dialog shows.
template <class Dialog = QWidget>
void AnswerNext(std::function<void(Dialog*)> answer) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
    auto* modal = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (modal == nullptr || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    answer(modal);
  });
  timer->start(10);
}

inline void AnswerNextModal(std::function<void(QWidget*)> answer) {
  AnswerNext<QWidget>(std::move(answer));
}

// Waits, running the event loop, until `condition` holds; false after a
// generous bound so a fault fails the test instead of hanging it.
inline bool WaitUntil(const std::function<bool()>& condition) {
  return QTest::qWaitFor(condition, 30000);
}
