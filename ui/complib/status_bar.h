#pragma once
// TStatusBar: a status bar of side-by-side text panels of fixed widths.
#include <QStatusBar>
#include <vector>

#include "platform/ansi_string.h"

class QLabel;

class TStatusPanel {
 public:
  explicit TStatusPanel(QLabel* label) : label_(label) {}
  AnsiString Text() const;
  void SetText(const AnsiString& text);

 private:
  QLabel* label_;
};

class TStatusBar : public QStatusBar {
 public:
  explicit TStatusBar(QWidget* parent = nullptr);

  // Adds a panel of `width` pixels showing `text`.
  void AddPanel(const AnsiString& text, int width);
  TStatusPanel& Panels(int index) { return panels_.at(index); }
  int PanelCount() const { return static_cast<int>(panels_.size()); }

 private:
  std::vector<TStatusPanel> panels_;
};
