#include "ui/complib/page_control.h"

QWidget* TPageControl::AddPage(const char* name) {
  auto* page = new QWidget(this);
  page->setObjectName(name);
  addWidget(page);
  return page;
}
