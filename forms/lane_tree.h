#pragma once
// The lane tree on the left of the points window: the lanes with the
// archers on them, built from the archer and country queries.

#include <QColor>
#include <QTreeWidget>

#include <functional>

class TImageList;
namespace db {
class Query;
}

// What a lane tree node carries besides its text: the data text (an archer
// node's ARCHERID in decimal, empty for a lane) and its image index.
inline constexpr int NodeDataRole = Qt::UserRole;
inline constexpr int NodeImageRole = Qt::UserRole + 1;

// A tree view with the lane tree's fixed properties: one column without a
// header, node images, lines, expanding by double click, no editing, a
// selection shown only while it has the focus, and a tool tip for a node
// text that does not fit.
class LaneTree : public QTreeWidget {
public:
    LaneTree(const QColor& background, QWidget* parent);

    // Runs after a left click has been handled by the tree, so that it sees
    // the selection the click leaves. A click that has just made another
    // node current has had its change handled already and is not reported.
    std::function<void()> OnClick;

    // True while a key typed in the tree is handled: an archer it selects
    // (a search by name, the arrow keys) leaves the focus in the tree.
    bool HandlingKey() const { return handlingKey_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Compared, never followed.
    const QTreeWidgetItem* currentAtPress_ = nullptr;
    bool handlingKey_ = false;
};

// Replaces the tree's nodes by lane 1 and a node for each further lane
// number met, in the archer query's order, with its archers under it:
// "LANE - NAME", and " - " with the country's NAME when the country query
// has the archer's COUNTRYNUMBER. Walks the archer query from its first row
// to its end; the nodes made before an error stay in the tree.
void FillLaneNodes(QTreeWidget& tree, db::Query& archers, db::Query& countries, const TImageList& images);
