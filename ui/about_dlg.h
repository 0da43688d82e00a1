#pragma once
// TAboutDlg: the About box. Name, version and a caution text in a
// read-only rich-text view whose URLs are live links.
#include <QColor>
#include <QDialog>

class QLabel;
class QPushButton;
class QTextBrowser;
class QUrl;

class TAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutDlg(QWidget* parent = nullptr);

  QLabel* Label1;
  QTextBrowser* rich;
  QPushButton* Button1;

  // Refills the text; runs at every showing.
  void FormShow();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Adds `text` as a new paragraph in `colour`; URLs in it become links.
  void AddText(const QString& text, const QColor& colour);
  void OpenLink(const QUrl& url);

  // The colour text is written in: the window-text colour until the first
  // showing has switched it to black.
  QColor font_colour_;
};
