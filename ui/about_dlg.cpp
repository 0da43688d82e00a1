#include "ui/about_dlg.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QShowEvent>
#include <QTextBrowser>
#include <QTextCursor>
#include <QUrl>

#include "ui/complib/fonts.h"

namespace {

const char kVersionBlock[] =
    "Version: 0.5 beta\n"
    "Copyright (c) the Quorvelin developers.\n"
    "All rights reserved.\n";

const char kCaution[] =
    "CAUTION: This software is provided as is, without warranty of any "
    "kind. Test it with your own devices and configuration before you use "
    "it to control equipment.\n";

const char kAbout[] =
    "Quorvelin passes Modbus TCP requests to Modbus RTU devices on serial "
    "ports and carries their replies back.\n"
    "The Modbus protocol: https://modbus.org/specs.php\n";

// What the view shows as a link: a web or mail address up to white space.
const QRegularExpression& UrlPattern() {
  static const QRegularExpression pattern(
      R"((?:https?://|ftp://|mailto:|www\.)[^\s<>"]+[^\s<>".,;:!?)])");
  return pattern;
}

}  // namespace

TAboutDlg::TAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      font_colour_(palette().color(QPalette::WindowText)) {
  setObjectName("AboutDlg");
  setWindowTitle("About this software");
  setFixedSize(415, 417);
  setFont(FormFont("MS Sans Serif", -11));

  Label1 = new QLabel("Quorvelin", this);
  Label1->setObjectName("Label1");
  Label1->setFont(FormFont("Arial Black", -27, FontStyle::Italic));
  Label1->setGeometry(112, 16, 176, 38);
  Label1->resize(Label1->sizeHint().expandedTo(QSize(176, 38)));

  rich = new QTextBrowser(this);
  rich->setObjectName("rich");
  rich->setGeometry(16, 72, 385, 289);
  rich->setFont(FormFont("Courier New", -13, FontStyle::Bold));
  rich->setReadOnly(true);
  rich->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  rich->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Links go to the desktop's browser, never into the view itself.
  rich->setOpenLinks(false);
  connect(rich, &QTextBrowser::anchorClicked, this, &TAboutDlg::OpenLink);

  Button1 = new QPushButton("OK", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(172, 378, 75, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

  setTabOrder(Button1, rich);
}

void TAboutDlg::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    if (QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
    FormShow();
    Button1->setFocus();
  }
  QDialog::showEvent(event);
}

void TAboutDlg::FormShow() {
  rich->clear();
  AddText(kVersionBlock, font_colour_);
  AddText(kCaution, Qt::red);
  font_colour_ = Qt::black;
  AddText(kAbout, font_colour_);
  rich->moveCursor(QTextCursor::Start);
}

void TAboutDlg::AddText(const QString& text, const QColor& colour) {
  QTextCharFormat plain;
  plain.setFont(FormFont("Courier New", 10));
  plain.setForeground(colour);

  QTextCursor cursor(rich->document());
  cursor.movePosition(QTextCursor::End);
  // Each text starts a paragraph of its own, as a line added to a list.
  if (!rich->document()->isEmpty()) cursor.insertBlock();
  const QStringList lines = text.split('\n');
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (i > 0) cursor.insertBlock();
    const QString& line = lines[i];
    qsizetype done = 0;
    for (auto match = UrlPattern().globalMatch(line); match.hasNext();) {
      const QRegularExpressionMatch url = match.next();
      cursor.insertText(line.mid(done, url.capturedStart() - done), plain);
      QTextCharFormat link = plain;
      link.setAnchor(true);
      QString target = url.captured();
      if (target.startsWith("www.")) target.prepend("http://");
      link.setAnchorHref(target);
      link.setFontUnderline(true);
      cursor.insertText(url.captured(), link);
      done = url.capturedEnd();
    }
    cursor.insertText(line.mid(done), plain);
  }
}

void TAboutDlg::OpenLink(const QUrl& url) {
  // A link that cannot be opened fails silently; the box stays open.
  QDesktopServices::openUrl(url);
}
