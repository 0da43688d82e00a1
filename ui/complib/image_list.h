#pragma once
// TImageList: the pictures that tool buttons and menu items share, by
// index.
#include <QIcon>
#include <QList>

class TImageList {
 public:
  void Add(const QIcon& image) { images_.append(image); }
  QIcon Get(int index) const { return images_.value(index); }
  int Count() const { return static_cast<int>(images_.size()); }

 private:
  QList<QIcon> images_;
};
