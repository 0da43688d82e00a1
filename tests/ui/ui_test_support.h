#pragma once
// Helpers of the window tests: answering a modal dialog that the code
// under test opens (its own event loop runs, so the answer comes from a
// timer), and waiting for the event loop to bring something about.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>
#include <string>

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

// Answers the next save dialog as the operator does: in `folder`, types
// `name` into the file name box and presses Enter. The dialog reads the
// folder in the background and may select a file it proposed once it has
// read it; the name is typed again until the dialog takes it.
inline void AnswerSaveDialog(const std::string& folder, const std::string& name) {
  AnswerNext<QFileDialog>([folder, name](QFileDialog* files) {
    files->setDirectory(QString::fromStdString(folder));
    auto* name_box = files->findChild<QLineEdit*>("fileNameEdit");
    if (name_box == nullptr) {
      files->reject();
      return;
    }
    const QString wanted =
        QDir(QString::fromStdString(folder)).filePath(QString::fromStdString(name));
    WaitUntil([&] {
      name_box->setFocus();
      name_box->selectAll();
      QTest::keyClicks(name_box, QString::fromStdString(name));
      return files->selectedFiles() == QStringList{wanted};
    });
    QTest::keyClick(name_box, Qt::Key_Return);
  });
}
