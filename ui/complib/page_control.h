#pragma once
// TPageControl: pages stacked on one another, one shown at a time. The
// tabs are hidden: the program chooses the page.
#include <QStackedWidget>

class TPageControl : public QStackedWidget {
 public:
  explicit TPageControl(QWidget* parent = nullptr) : QStackedWidget(parent) {}

  // A new, empty page at the end, parent of its controls.
  QWidget* AddPage(const char* name);
  int ActivePageIndex() const { return currentIndex(); }
  void SetActivePageIndex(int index) { setCurrentIndex(index); }
};
