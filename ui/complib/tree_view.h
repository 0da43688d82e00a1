#pragma once
// TTreeView: a tree of text nodes with pictures from an image list. The
// picture of a node is asked for whenever the node is drawn
// (OnGetImageIndex, and OnGetSelectedIndex while it is selected), so it
// can follow the node's state. Either mouse button selects the node it is
// pressed on; OnMouseUp reports the release in client coordinates.
#include <QTreeWidget>
#include <functional>

#include "platform/ansi_string.h"
#include "ui/complib/image_list.h"

enum TMouseButton { mbLeft, mbRight, mbMiddle };

class TTreeNode : public QTreeWidgetItem {
 public:
  explicit TTreeNode(const AnsiString& text);

  AnsiString Text() const;
  bool HasChildren() const { return childCount() > 0; }
  bool Selected() const { return isSelected(); }
  // Opens the node, and with `recurse` every node below it.
  void Expand(bool recurse);

  // Set by the tree's handlers when the node is drawn; -1 shows none.
  int ImageIndex = -1;
  int SelectedIndex = -1;
};

class TTreeView : public QTreeWidget {
 public:
  explicit TTreeView(QWidget* parent = nullptr);

  // A node at the top level, after the others.
  TTreeNode* Add(const AnsiString& text);
  TTreeNode* AddChild(TTreeNode* parent, const AnsiString& text);
  void Clear() { clear(); }
  void Delete(TTreeNode* node) { delete node; }

  // Every node in display order, children right after their parent.
  int Count() const;
  TTreeNode* Item(int index) const;

  // The node at a point of the client area, or null.
  TTreeNode* GetNodeAt(int X, int Y) const;
  TTreeNode* Selected() const;
  void Select(TTreeNode* node);
  // The client area's top-left corner in screen coordinates.
  QPoint ClientOrigin() const;

  TImageList* Images = nullptr;

  TTreeNode* NodeOf(const QModelIndex& index) const;

  std::function<void(TMouseButton Button, int X, int Y)> OnMouseUp;
  std::function<void(TTreeNode* Node)> OnGetImageIndex;
  std::function<void(TTreeNode* Node)> OnGetSelectedIndex;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};
