#include "forms/lane_tree.h"

#include "db/query.h"
#include "forms/archer_images.h"
#include "forms/plain_text.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <optional>
#include <string>
#include <unordered_map>

namespace {

// Shows a node's whole text as a tool tip when the tree cannot show all of
// it: the text is cut short, or runs past the visible part of the tree.
class CutTextTipDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        // The size hint is the room the node needs to be drawn whole, image
        // and margins included, measured as the drawing measures it.
        const QRect shown = view->visualRect(index).intersected(view->viewport()->rect());
        if (sizeHint(option, index).width() > shown.width())
            QToolTip::showText(event->globalPos(), PlainToolTip(index.data(Qt::DisplayRole).toString()), view->viewport(),
                               view->visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }
};

QString latin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The same picture whether the node is selected or not.
QIcon nodeIcon(const TImageList& images, int index)
{
    QIcon icon;
    icon.addPixmap(images.Image(index), QIcon::Normal);
    icon.addPixmap(images.Image(index), QIcon::Selected);
    return icon;
}

void setNodeImage(QTreeWidgetItem* node, const QIcon& icon, int index)
{
    node->setIcon(0, icon);
    node->setData(0, NodeImageRole, index);
}

} // namespace

LaneTree::LaneTree(const QColor& background, QWidget* parent)
    : QTreeWidget(parent)
{
    // A sunken three-dimensional border of its own, whatever the style draws
    // for other frames.
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setColumnCount(1);
    setHeaderHidden(true);
    setIndentation(19);
    setRootIsDecorated(true);
    setItemsExpandable(true);
    setExpandsOnDoubleClick(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setAllColumnsShowFocus(false);
    setIconSize(QSize(16, 16));
    setItemDelegate(new CutTextTipDelegate(this));
    QPalette pal = palette();
    pal.setColor(QPalette::Base, background);
    // The selection shows only while the tree has the focus.
    pal.setColor(QPalette::Inactive, QPalette::Highlight, background);
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::Text));
    setPalette(pal);
}

void LaneTree::keyPressEvent(QKeyEvent* event)
{
    const bool outer = !handlingKey_;
    handlingKey_ = true;
    const auto done = qScopeGuard([this, outer] {
        if (outer)
            handlingKey_ = false;
    });
    QTreeWidget::keyPressEvent(event);
}

void LaneTree::mousePressEvent(QMouseEvent* event)
{
    currentAtPress_ = currentItem();
    QTreeWidget::mousePressEvent(event);
}

void LaneTree::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    const bool changedByThisClick = currentItem() != currentAtPress_;
    currentAtPress_ = currentItem();
    if (event->button() == Qt::LeftButton && OnClick && !changedByThisClick)
        OnClick();
}

void FillLaneNodes(QTreeWidget& tree, db::Query& archers, db::Query& countries, const TImageList& images)
{
    tree.clear();
    const QIcon laneIcon = nodeIcon(images, LaneImage);
    const QIcon archerIcon = nodeIcon(images, ArcherImage);
    // The nodes are built apart and handed to the tree at once.
    QList<QTreeWidgetItem*> lanes;
    auto addLane = [&](std::int32_t laneNo) {
        auto* lane = new QTreeWidgetItem(QStringList(QString::number(laneNo)));
        setNodeImage(lane, laneIcon, LaneImage);
        lane->setData(0, NodeDataRole, QString());
        lanes.append(lane);
        return lane;
    };
    auto insertLanes = qScopeGuard([&] { tree.addTopLevelItems(lanes); });

    QTreeWidgetItem* lane = addLane(1);
    std::int32_t currentLane = 1;
    if (!archers.active())
        return;
    const db::Field laneNoField = archers.fieldByName("LANENO");
    const db::Field laneField = archers.fieldByName("LANE");
    const db::Field nameField = archers.fieldByName("NAME");
    const db::Field countryField = archers.fieldByName("COUNTRYNUMBER");
    const db::Field idField = archers.fieldByName("ARCHERID");
    const bool countriesOpen = countries.active();
    std::unordered_map<std::int32_t, std::optional<std::string>> countryNames;
    for (archers.first(); !archers.eof(); archers.next()) {
        const std::int32_t laneNo = laneNoField.asInteger();
        if (laneNo != currentLane) {
            currentLane = laneNo;
            lane = addLane(laneNo);
        }
        std::string text = laneField.asString() + " - " + nameField.asString();
        if (countriesOpen) {
            // Each country is searched once per fill; a number without a row
            // adds nothing.
            const std::int32_t countryNo = countryField.asInteger();
            auto known = countryNames.find(countryNo);
            if (known == countryNames.end()) {
                std::optional<std::string> name;
                if (countries.locate("COUNTRYNUMBER", {db::Value(countryNo)}))
                    name = countries.fieldByName("NAME").asString();
                known = countryNames.emplace(countryNo, std::move(name)).first;
            }
            if (known->second)
                text += " - " + *known->second;
        }
        auto* node = new QTreeWidgetItem(lane, QStringList(latin1(text)));
        setNodeImage(node, archerIcon, ArcherImage);
        node->setData(0, NodeDataRole, QString::number(idField.asInteger()));
    }
}
