// The About box: its text at every showing, the colours, the links and
// the ways to close it.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QUrl>

#include "ui/about_dlg.h"
#include "ui/complib/application.h"
#include "ui/complib/message_dlg.h"
#include "ui_test_support.h"

namespace {

// Receives the URLs that the desktop would open.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened.append(url); }
};

class AboutBox : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = std::make_unique<TApplication>(argc_, argv_);
    app_->Initialize();
    app_->CreateForm(dialog_);
  }

  // Shows the box modally and closes it with `close` once it is open.
  int ShowAndClose(const std::function<void(TAboutDlg&)>& close) {
    AnswerNextModal([this, close](QWidget*) { close(*dialog_); });
    return dialog_->exec();
  }

  QString Text() const { return dialog_->rich->toPlainText(); }

  // The colour of the character at the start of the first occurrence of
  // `needle` in the view.
  QColor ColourOf(const QString& needle) const {
    QTextCursor cursor = dialog_->rich->document()->find(needle);
    EXPECT_FALSE(cursor.isNull()) << needle.toStdString();
    cursor.setPosition(cursor.selectionStart() + 1);
    return cursor.charFormat().foreground().color();
  }

  int argc_ = 1;
  char name_[16] = "about_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<TApplication> app_;
  TAboutDlg* dialog_ = nullptr;
};

TEST_F(AboutBox, ShownTwiceShowsEachTextOnceAndTheVersionBlockBlackAtLast) {
  ASSERT_EQ(ShowAndClose([](TAboutDlg& box) { box.Button1->click(); }), mrOk);
  const QString first = Text();
  EXPECT_TRUE(first.startsWith("Version: 0.5 beta\n")) << first.toStdString();
  EXPECT_EQ(first.count("Version: 0.5 beta"), 1);
  EXPECT_EQ(ColourOf("CAUTION"), QColor(Qt::red));
  EXPECT_EQ(ColourOf("Quorvelin passes"), QColor(Qt::black));
  // The version block's lines are three, then an empty line.
  const QStringList lines = first.split('\n');
  ASSERT_GE(lines.size(), 5);
  EXPECT_EQ(lines[3], "");
  EXPECT_TRUE(lines[4].startsWith("CAUTION"));

  ASSERT_EQ(ShowAndClose([](TAboutDlg& box) { box.Button1->click(); }), mrOk);
  EXPECT_EQ(Text(), first);
  EXPECT_EQ(ColourOf("Version"), QColor(Qt::black));
}

TEST_F(AboutBox, EnterClosesItSinceOkHasTheFocus) {
  const int result = ShowAndClose([](TAboutDlg& box) {
    EXPECT_TRUE(box.Button1->hasFocus());
    QTest::keyClick(&box, Qt::Key_Return);
  });
  EXPECT_EQ(result, mrOk);
}

TEST_F(AboutBox, ClickedLinkGoesToTheDesktopAndTheBoxStaysOpen) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("https", &catcher, "Open");
  ShowAndClose([&](TAboutDlg& box) {
    const QString text = box.rich->toPlainText();
    const qsizetype at = text.indexOf("https://");
    ASSERT_GE(at, 0);
    QTextCursor cursor(box.rich->document());
    cursor.setPosition(at + 3);
    const QString href = cursor.charFormat().anchorHref();
    EXPECT_EQ(href, "https://modbus.org/specs.php");
    emit box.rich->anchorClicked(QUrl(href));
    EXPECT_TRUE(box.isVisible());
    box.Button1->click();
  });
  QDesktopServices::unsetUrlHandler("https");
  ASSERT_EQ(catcher.opened.size(), 1);
  EXPECT_EQ(catcher.opened[0], QUrl("https://modbus.org/specs.php"));
}

}  // namespace

#include "about_dlg_test.moc"
