#include "ui/complib/tree_view.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include "ui/complib/text.h"

namespace {

// Draws each node with the picture its tree's handlers choose right then.
class NodeImageDelegate : public QStyledItemDelegate {
 public:
  explicit NodeImageDelegate(TTreeView* tree)
      : QStyledItemDelegate(tree), tree_(tree) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* option,
                       const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    TTreeNode* node = tree_->NodeOf(index);
    if (node == nullptr || tree_->Images == nullptr) return;
    if (tree_->OnGetImageIndex) tree_->OnGetImageIndex(node);
    int image = node->ImageIndex;
    if (node->Selected()) {
      if (tree_->OnGetSelectedIndex) tree_->OnGetSelectedIndex(node);
      image = node->SelectedIndex;
    }
    if (image < 0) return;
    option->icon = tree_->Images->Get(image);
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->decorationSize = QSize(16, 16);
  }

 private:
  TTreeView* tree_;
};

void AppendInOrder(QTreeWidgetItem* item, std::vector<TTreeNode*>& nodes) {
  nodes.push_back(static_cast<TTreeNode*>(item));
  for (int i = 0; i < item->childCount(); ++i)
    AppendInOrder(item->child(i), nodes);
}

}  // namespace

TTreeNode::TTreeNode(const AnsiString& text) { setText(0, ToQString(text)); }

AnsiString TTreeNode::Text() const { return ToAnsiString(text(0)); }

void TTreeNode::Expand(bool recurse) {
  setExpanded(true);
  if (!recurse) return;
  for (int i = 0; i < childCount(); ++i)
    static_cast<TTreeNode*>(child(i))->Expand(true);
}

TTreeView::TTreeView(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setEditTriggers(NoEditTriggers);
  setSelectionMode(SingleSelection);
  setItemDelegate(new NodeImageDelegate(this));
}

TTreeNode* TTreeView::Add(const AnsiString& text) {
  auto* node = new TTreeNode(text);
  addTopLevelItem(node);
  return node;
}

TTreeNode* TTreeView::AddChild(TTreeNode* parent, const AnsiString& text) {
  if (parent == nullptr) return Add(text);
  auto* node = new TTreeNode(text);
  parent->addChild(node);
  parent->setExpanded(true);
  return node;
}

int TTreeView::Count() const {
  std::vector<TTreeNode*> nodes;
  for (int i = 0; i < topLevelItemCount(); ++i)
    AppendInOrder(topLevelItem(i), nodes);
  return static_cast<int>(nodes.size());
}

TTreeNode* TTreeView::Item(int index) const {
  std::vector<TTreeNode*> nodes;
  for (int i = 0; i < topLevelItemCount(); ++i)
    AppendInOrder(topLevelItem(i), nodes);
  if (index < 0 || index >= static_cast<int>(nodes.size())) return nullptr;
  return nodes[static_cast<std::size_t>(index)];
}

TTreeNode* TTreeView::GetNodeAt(int X, int Y) const {
  return static_cast<TTreeNode*>(itemAt(X, Y));
}

TTreeNode* TTreeView::Selected() const {
  return static_cast<TTreeNode*>(currentItem());
}

void TTreeView::Select(TTreeNode* node) { setCurrentItem(node); }

QPoint TTreeView::ClientOrigin() const { return viewport()->mapToGlobal(QPoint(0, 0)); }

TTreeNode* TTreeView::NodeOf(const QModelIndex& index) const {
  return static_cast<TTreeNode*>(itemFromIndex(index));
}

void TTreeView::mouseReleaseEvent(QMouseEvent* event) {
  QTreeWidget::mouseReleaseEvent(event);
  TMouseButton button;
  switch (event->button()) {
    case Qt::LeftButton: button = mbLeft; break;
    case Qt::RightButton: button = mbRight; break;
    case Qt::MiddleButton: button = mbMiddle; break;
    default: return;
  }
  const QPoint point = event->position().toPoint();
  if (OnMouseUp) OnMouseUp(button, point.x(), point.y());
}
