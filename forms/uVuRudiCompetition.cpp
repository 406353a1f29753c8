#include "forms/uVuRudiCompetition.h"

#include "core/integer_text.h"
#include "data/uTallyonData.h"
#include "forms/error_display.h"
#include "model/cursor_seam.h"
#include "model/message_seam.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QFontInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <unordered_map>

namespace {

using F = TfrmVuRudiCompetition;

// Sizes at 96 pixels per inch, relative to the parent.
constexpr int DesignClientWidth = 688;
constexpr int DesignClientHeight = 474;
constexpr int FrameWidth = 696 - DesignClientWidth;
constexpr int FrameHeight = 501 - DesignClientHeight;
constexpr QColor WindowColour(0x7E, 0xA7, 0xE4);
constexpr int BarHeight = 41;
constexpr int LabelHeight = 13;
constexpr int BoxWidth = 30;
constexpr int BoxHeight = 21;
constexpr int ArrowsPerRound = 30;
constexpr int Ends = 10;

// The top bar's label pairs.
struct LabelPair {
    QLabel* F::*caption;
    const char* captionName;
    const char* captionText;
    QPoint captionAt;
    QLabel* F::*value;
    const char* valueName;
    QPoint valueAt;
};
const std::array<LabelPair, 8> TopBarLabels{{
    {&F::lblID, "lblID", "ID", {8, 8}, &F::lblIDVal, "lblIDVal", {48, 8}},
    {&F::lblLane, "lblLane", "Lane", {8, 24}, &F::lblLaneVal, "lblLaneVal", {48, 24}},
    {&F::lblName, "lblName", "Name", {89, 8}, &F::lblNameVal, "lblNameVal", {147, 8}},
    {&F::lblBowType, "lblBowType", "Bow Type", {89, 24}, &F::lblBowTypeVal, "lblBowTypeVal", {147, 24}},
    {&F::lblCountry, "lblCountry", "Country", {264, 8}, &F::lblCountryVal, "lblCountryVal", {312, 8}},
    {&F::lblSex, "lblSex", "Sex", {264, 24}, &F::lblSexVal, "lblSexVal", {312, 24}},
    {&F::lblAgeClass, "lblAgeClass", "Age Class", {448, 8}, &F::lblAgeClassVal, "lblAgeClassVal", {509, 8}},
    {&F::lblShootingClass, "lblShootingClass", "Shooting Class", {448, 24},
     &F::lblShootingClassVal, "lblShootingClassVal", {534, 24}},
}};

// The round panels: one row per end, three arrows and the end sum on it.
constexpr std::array<int, Ends> RowTops{24, 51, 79, 106, 134, 161, 189, 216, 244, 272};
constexpr int RoundSumTop = 304;
constexpr int GrandTotalTop = 336;

struct RoundPanelLayout {
    const char* panelName;
    const char* captionName;
    const char* captionText;
    QLabel* F::*caption;
    TRoundPanel* F::*panel;
    QRect geometry;
    std::array<int, 3> arrowLefts;
    int endSumLeft;
    int pairSumLeft; // also the round sum's and the grand total's
};
const std::array<RoundPanelLayout, 2> RoundPanels{{
    {"RoundPanel1", "lblRound1", "Round 1", &F::lblRound1, &F::RoundPanel1, {200, 48, 225, 369}, {8, 53, 98}, 144, 176},
    {"RoundPanel2", "Label1", "Round 2", &F::Label1, &F::RoundPanel2, {425, 48, 225, 369}, {8, 58, 108}, 152, 184},
}};

using ArrowMembers = std::array<TPointEdit* F::*, ArrowsPerRound>;
using SumMembers = std::array<TSumEdit* F::*, 17>; // ends 1-10, pairs 11-15, round 16, total 17

constexpr ArrowMembers Round1Arrows{{
    &F::pe1, &F::pe2, &F::PointEdit3, &F::PointEdit4, &F::PointEdit5, &F::PointEdit6,
    &F::PointEdit7, &F::PointEdit8, &F::PointEdit9, &F::PointEdit10, &F::PointEdit11, &F::PointEdit12,
    &F::PointEdit13, &F::PointEdit14, &F::PointEdit15, &F::PointEdit16, &F::PointEdit17, &F::PointEdit18,
    &F::PointEdit19, &F::PointEdit20, &F::PointEdit21, &F::PointEdit22, &F::PointEdit23, &F::PointEdit24,
    &F::PointEdit25, &F::PointEdit26, &F::PointEdit27, &F::PointEdit28, &F::PointEdit29, &F::PointEdit30,
}};
constexpr ArrowMembers Round2Arrows{{
    &F::PointEdit1, &F::PointEdit2, &F::PointEdit31, &F::PointEdit32, &F::PointEdit33, &F::PointEdit34,
    &F::PointEdit35, &F::PointEdit36, &F::PointEdit37, &F::PointEdit38, &F::PointEdit39, &F::PointEdit40,
    &F::PointEdit41, &F::PointEdit42, &F::PointEdit43, &F::PointEdit44, &F::PointEdit45, &F::PointEdit46,
    &F::PointEdit47, &F::PointEdit48, &F::PointEdit49, &F::PointEdit50, &F::PointEdit51, &F::PointEdit52,
    &F::PointEdit53, &F::PointEdit54, &F::PointEdit55, &F::PointEdit56, &F::PointEdit57, &F::PointEdit58,
}};
constexpr SumMembers Round1Sums{{
    &F::se1, &F::se2, &F::se3, &F::se4, &F::se5, &F::se6,
    &F::se7, &F::se8, &F::se9, &F::se10, &F::se11, &F::se12,
    &F::se13, &F::se14, &F::se15, &F::se16,
    nullptr,
}};
constexpr SumMembers Round2Sums{{
    &F::SumEdit1, &F::SumEdit2, &F::SumEdit3, &F::SumEdit4, &F::SumEdit5, &F::SumEdit6,
    &F::SumEdit7, &F::SumEdit8, &F::SumEdit9, &F::SumEdit10, &F::SumEdit11, &F::SumEdit12,
    &F::SumEdit13, &F::SumEdit14, &F::SumEdit15, &F::SumEdit16, &F::SumEdit17,
}};

const ArrowMembers& arrowMembers(int round) { return round == 1 ? Round1Arrows : Round2Arrows; }
const SumMembers& sumMembers(int round) { return round == 1 ? Round1Sums : Round2Sums; }

// Round 1: pe1, pe2, PointEdit3 ... PointEdit30. Round 2: PointEdit1,
// PointEdit2, PointEdit31 ... PointEdit58.
QString arrowName(int round, int arrow)
{
    if (arrow <= 2)
        return (round == 1 ? QStringLiteral("pe") : QStringLiteral("PointEdit")) + QString::number(arrow);
    return QStringLiteral("PointEdit") + QString::number(round == 1 ? arrow : arrow + 28);
}

// Sum k: ends 1-10, pairs of ends 11-15, the round 16, the grand total 17.
QString sumName(int round, int k)
{
    return (round == 1 ? QStringLiteral("se") : QStringLiteral("SumEdit")) + QString::number(k);
}

QFont windowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    if (QFontInfo(font).family() != QLatin1String("MS Sans Serif")) {
        // The sans-serif stand-in runs wider; its condensed face keeps the
        // top bar's captions clear of their values.
        font.setFamilies({QStringLiteral("DejaVu Sans")});
        font.setStretch(QFont::SemiCondensed);
    }
    return font;
}

// A label that sizes itself to its text, one line high.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QPoint at, bool bold)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    label->move(at);
    label->resize(label->sizeHint().width(), LabelHeight);
    return label;
}

QFrame* makeBar(QWidget* parent, const char* name)
{
    auto* bar = new QFrame(parent);
    bar->setObjectName(QLatin1String(name));
    bar->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bar->setAutoFillBackground(true);
    return bar;
}

// Shows a node's whole text as a tool tip when the tree cuts it off.
class CutTextTipDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QStyle* style = view->style();
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, view);
        const int visibleRight = std::min(textRect.right(), view->viewport()->width() - 1);
        const int needed = opt.fontMetrics.horizontalAdvance(opt.text) + 2 * style->pixelMetric(QStyle::PM_FocusFrameHMargin, &opt, view);
        if (needed > visibleRight - textRect.left() + 1)
            QToolTip::showText(event->globalPos(), opt.text, view->viewport(), view->visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }
};

// The lane tree reports a left click once it has handled it, so that a
// click sees the selection as the click leaves it. A click that has just
// made another node current has had its change handled already, whatever
// came of it, and is not reported again.
class LaneTree : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;
    std::function<void()> OnClick;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        currentAtPress_ = currentItem();
        QTreeWidget::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        QTreeWidget::mouseReleaseEvent(event);
        const bool changedByThisClick = currentItem() != currentAtPress_;
        currentAtPress_ = currentItem();
        if (event->button() == Qt::LeftButton && OnClick && !changedByThisClick)
            OnClick();
    }

private:
    // Compared, never followed.
    const QTreeWidgetItem* currentAtPress_ = nullptr;
};

// The order of the archers for Prior, Next and the lane tree.
const std::string ArcherOrder = "LANENO, LANELETTER";

// Told once for each save that meets another station's lock.
const std::string OtherStationSavingText =
    "Another station is saving this archer's arrows right now, so nothing has been stored yet.\n"
    "The arrows stay as typed and are saved again with the next move or when the window closes.";

QString latin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A value label sizes itself to its text, up to the next label on its row;
// a longer text is cut short and shown whole as the label's tool tip.
void setValueText(QLabel* label, const QString& text)
{
    const QWidget* bar = label->parentWidget();
    int right = bar->width() - 8;
    for (const QLabel* other : bar->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
        if (other->y() == label->y() && other->x() > label->x())
            right = std::min(right, other->x() - 6);
    const int room = std::max(right - label->x(), 0);
    const QString shown = label->fontMetrics().elidedText(text, Qt::ElideRight, room);
    label->setText(shown);
    label->setToolTip(shown == text ? QString() : text);
    label->resize(std::min(label->sizeHint().width(), room), LabelHeight);
}

QString arrowText(const TArcheryPoint& arrow)
{
    if (arrow.Cross)
        return QStringLiteral("X");
    if (arrow.EmptyScore)
        return QString();
    if (arrow.Point != 0)
        return QString::number(arrow.Point);
    return QStringLiteral("M");
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

TfrmVuRudiCompetition::TfrmVuRudiCompetition(TdmTallyon* dm)
    : QWidget(nullptr)
    , dmHost(dm)
{
    setObjectName(QStringLiteral("frmVuRudiCompetition"));
    setWindowTitle(QStringLiteral("Vozoze Vove"));
    setFont(windowFont());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, WindowColour);
    setPalette(pal);
    setAutoFillBackground(true);
    setMinimumSize(696 - FrameWidth, 480 - FrameHeight);
    move(61, 134); // the frame's top left
    resize(DesignClientWidth, DesignClientHeight);

    createTopBar();
    createBottomBar();
    createRoundPanel(1);
    createRoundPanel(2);
    createLaneTree();
    ilArchers = new TImageList(16, 16, this);
    ilArchers->setObjectName(QStringLiteral("ilArchers"));
    ilArchers->Add(DrawLandscapeImage());
    ilArchers->Add(DrawPersonImage());
    Components.append(ilArchers);

    layoutBars();
    resolveSumLinks();
    chainTabOrder();
    wireEvents();

    // Key preview: the window sees each key press before the focused control.
    qApp->installEventFilter(this);

    Guarded([this] { FormCreate(this); });
}

TfrmVuRudiCompetition::~TfrmVuRudiCompetition()
{
    qApp->removeEventFilter(this);
    Guarded([this] { FormDestroy(this); });
}

void TfrmVuRudiCompetition::createTopBar()
{
    Panel1 = makeBar(this, "Panel1");
    Components.append(Panel1);
    for (const LabelPair& pair : TopBarLabels) {
        this->*pair.caption = makeLabel(Panel1, pair.captionName, QLatin1String(pair.captionText), pair.captionAt, true);
        Components.append(this->*pair.caption);
    }
    for (const LabelPair& pair : TopBarLabels) {
        // A value label shows its own name until an archer is shown.
        this->*pair.value = makeLabel(Panel1, pair.valueName, QLatin1String(pair.valueName), pair.valueAt, false);
        Components.append(this->*pair.value);
    }
    dxBtnFind = new QPushButton(QStringLiteral("Find"), Panel1);
    dxBtnFind->setObjectName(QStringLiteral("dxBtnFind"));
    dxBtnFind->setGeometry(640, 8, 41, 21);
    dxBtnFind->setHidden(true);
    rightAnchors_.append({dxBtnFind, DesignClientWidth - 640});
    Components.append(dxBtnFind);
}

void TfrmVuRudiCompetition::createBottomBar()
{
    Panel2 = makeBar(this, "Panel2");
    Components.append(Panel2);
    struct Button {
        QPushButton* F::*member;
        const char* name;
        const char* caption;
        int left;
        const char* hint;
    };
    const Button buttons[] = {
        {&F::dxBtnPrior, "dxBtnPrior", "Prior", 488, "Page Up"},
        {&F::dxBtnNext, "dxBtnNext", "Next", 584, "Page Down"},
    };
    for (const Button& b : buttons) {
        auto* button = new QPushButton(QLatin1String(b.caption), Panel2);
        button->setObjectName(QLatin1String(b.name));
        button->setGeometry(b.left, 8, 73, 21);
        button->setToolTip(QLatin1String(b.hint));
        button->setAutoDefault(false);
        this->*b.member = button;
        rightAnchors_.append({button, DesignClientWidth - b.left});
        Components.append(button);
    }
}

void TfrmVuRudiCompetition::createRoundPanel(int round)
{
    const RoundPanelLayout& layout = RoundPanels.at(static_cast<std::size_t>(round - 1));
    auto* panel = new TRoundPanel(this);
    panel->setObjectName(QLatin1String(layout.panelName));
    panel->RoundNo = round;
    panel->setGeometry(layout.geometry);
    panel->setAutoFillBackground(true);
    this->*layout.panel = panel;
    Components.append(panel);

    this->*layout.caption = makeLabel(panel, layout.captionName, QLatin1String(layout.captionText), {8, 8}, false);
    Components.append(this->*layout.caption);

    const SumMembers& sums = sumMembers(round);
    // Sum k of this round at (left, top), feeding the sum named by `feeds`.
    auto addSum = [&](int k, int left, int top, const QString& feeds) {
        auto* box = new TSumEdit(panel);
        box->setObjectName(sumName(round, k));
        box->setGeometry(left, top, BoxWidth, BoxHeight);
        this->*sums.at(static_cast<std::size_t>(k - 1)) = box;
        if (!feeds.isEmpty())
            pendingSumLinks_.append({box, feeds});
        Components.append(box);
    };
    auto endSum = [&](int end) {
        addSum(end, layout.endSumLeft, RowTops.at(static_cast<std::size_t>(end - 1)),
               sumName(round, Ends + (end + 1) / 2));
    };

    endSum(1);
    const ArrowMembers& arrows = arrowMembers(round);
    for (int arrow = 1; arrow <= ArrowsPerRound; ++arrow) {
        const int row = (arrow - 1) / 3;
        auto* box = new TPointEdit(panel);
        box->setObjectName(arrowName(round, arrow));
        box->setGeometry(layout.arrowLefts.at(static_cast<std::size_t>((arrow - 1) % 3)),
                         RowTops.at(static_cast<std::size_t>(row)), BoxWidth, BoxHeight);
        box->RoundNo = round;
        box->ArrowNo = arrow;
        box->ChangedByUser = false;
        this->*arrows.at(static_cast<std::size_t>(arrow - 1)) = box;
        pendingSumLinks_.append({box, sumName(round, row + 1)});
        Components.append(box);
    }
    for (int end = 2; end <= Ends; ++end)
        endSum(end);
    for (int pair = 1; pair <= Ends / 2; ++pair)
        addSum(Ends + pair, layout.pairSumLeft, RowTops.at(static_cast<std::size_t>(2 * pair - 1)), sumName(round, 16));
    addSum(16, layout.pairSumLeft, RoundSumTop, QStringLiteral("SumEdit17"));
    if (round == 2)
        addSum(17, layout.pairSumLeft, GrandTotalTop, QString());
}

void TfrmVuRudiCompetition::createLaneTree()
{
    auto* tree = new LaneTree(this);
    tree->OnClick = [this] { Guarded([this] { fctvRangeClick(fctvRange); }); };
    fctvRange = tree;
    fctvRange->setObjectName(QStringLiteral("fctvRange"));
    fctvRange->setGeometry(8, 48, 185, 369);
    fctvRange->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    fctvRange->setColumnCount(1);
    fctvRange->setHeaderHidden(true);
    fctvRange->setIndentation(19);
    fctvRange->setRootIsDecorated(true);
    fctvRange->setItemsExpandable(true);
    fctvRange->setExpandsOnDoubleClick(true);
    fctvRange->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fctvRange->setSelectionMode(QAbstractItemView::SingleSelection);
    fctvRange->setSelectionBehavior(QAbstractItemView::SelectItems);
    fctvRange->setAllColumnsShowFocus(false);
    fctvRange->setIconSize(QSize(16, 16));
    fctvRange->setItemDelegate(new CutTextTipDelegate(fctvRange));
    QPalette pal = fctvRange->palette();
    pal.setColor(QPalette::Base, WindowColour);
    // The selection shows only while the tree has the focus.
    pal.setColor(QPalette::Inactive, QPalette::Highlight, WindowColour);
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::Text));
    fctvRange->setPalette(pal);
    Components.append(fctvRange);
}

// The sum links are stored by name, as a form description would hold them.
void TfrmVuRudiCompetition::resolveSumLinks()
{
    for (const auto& [box, target] : pendingSumLinks_) {
        auto* sum = findChild<TSumEdit*>(target);
        if (auto* arrow = qobject_cast<TPointEdit*>(box))
            arrow->sumEdit = sum;
        else if (auto* lower = qobject_cast<TSumEdit*>(box))
            lower->sumEdit = sum;
    }
    pendingSumLinks_.clear();
}

// Tab runs Prior, Next, the arrows of round 1, those of round 2, the lane
// tree, and round again. Sum boxes, labels and panels are no tab stops.
void TfrmVuRudiCompetition::chainTabOrder()
{
    QList<QWidget*> chain{dxBtnPrior, dxBtnNext};
    for (int round = 1; round <= 2; ++round)
        for (TPointEdit* F::*member : arrowMembers(round))
            chain.append(this->*member);
    chain.append(fctvRange);
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain.at(i - 1), chain.at(i));
}

void TfrmVuRudiCompetition::wireEvents()
{
    auto* keyFilter = new TKeyPressFilter(
        [this](QObject* sender, char16_t& key) {
            if (!Guarded([&] { AllowOnlyArcheryValues(sender, key); }))
                key = 0;
        },
        this);
    for (QObject* component : std::as_const(Components)) {
        auto* box = qobject_cast<TScoreEdit*>(component);
        if (!box || box == SumEdit17)
            continue; // the grand total changes nothing further
        connect(box, &TScoreEdit::OnChange, this, [this](QObject* sender) {
            Guarded([&] { pe1Change(sender); });
        });
        if (qobject_cast<TPointEdit*>(box))
            box->installEventFilter(keyFilter);
    }
    connect(dxBtnFind, &QPushButton::clicked, this, [this] { Guarded([this] { dxBtnFindClick(dxBtnFind); }); });
    connect(dxBtnPrior, &QPushButton::clicked, this, [this] { Guarded([this] { dxBtnPriorClick(dxBtnPrior); }); });
    connect(dxBtnNext, &QPushButton::clicked, this, [this] { Guarded([this] { dxBtnNextClick(dxBtnNext); }); });
    connect(fctvRange, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) {
        Guarded([&] { fctvRangeChange(fctvRange, node); });
    });
    // A click anywhere in the tree, on a node or not, goes to fctvRangeClick
    // through the tree itself.
}

bool TfrmVuRudiCompetition::isFirstDelivery(QObject* receiver, const QEvent* event)
{
    // Qt hands an unused key on to the parent of its receiver, one step at a
    // time, with the same event object. A later key press may well reuse the
    // address of an earlier one, so only the exact next step counts.
    bool climbing = false;
    if (event == lastKeyEvent_ && lastKeyReceiver_ && lastKeyReceiver_->isWidgetType())
        climbing = receiver == static_cast<QWidget*>(lastKeyReceiver_.data())->parentWidget();
    lastKeyEvent_ = event;
    lastKeyReceiver_ = receiver;
    return !climbing;
}

bool TfrmVuRudiCompetition::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress && watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this
        && isFirstDelivery(watched, event)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        Guarded([&] { FormKeyDown(watched, key->key(), key->modifiers()); });
    } else if (type == QEvent::KeyRelease) {
        // The key press before it has reached all its receivers.
        lastKeyEvent_ = nullptr;
        lastKeyReceiver_ = nullptr;
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmVuRudiCompetition::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        Guarded([this] { FormShow(this); });
}

void TfrmVuRudiCompetition::closeEvent(QCloseEvent* event)
{
    bool close = false;
    Guarded([&] { close = FormClose(this); });
    if (close)
        event->accept(); // the window only hides
    else
        event->ignore();
}

void TfrmVuRudiCompetition::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutBars();
}

void TfrmVuRudiCompetition::layoutBars()
{
    // The bars stretch with the window; their buttons keep their distance
    // to its right edge. The round panels and the tree stay where they are.
    Panel1->setGeometry(0, 0, width(), BarHeight);
    Panel2->setGeometry(0, height() - BarHeight, width(), BarHeight);
    for (const RightAnchor& anchor : std::as_const(rightAnchors_))
        anchor.widget->move(width() - anchor.rightMargin, anchor.widget->y());
}

void TfrmVuRudiCompetition::FormCreate(QObject*)
{
    PointEdits.clear();
    Changed = false;
    // Each sum box adds every box whose link names it, in creation order.
    for (QObject* component : std::as_const(Components)) {
        if (auto* sum = qobject_cast<TSumEdit*>(component)) {
            for (QObject* other : std::as_const(Components)) {
                if (auto* arrow = qobject_cast<TPointEdit*>(other); arrow && arrow->sumEdit == sum)
                    sum->sumOfList.append(arrow);
                else if (auto* lower = qobject_cast<TSumEdit*>(other); lower && lower->sumEdit == sum)
                    sum->sumOfList.append(lower);
            }
        } else if (auto* arrow = qobject_cast<TPointEdit*>(component)) {
            PointEdits.append(arrow);
        }
    }
    std::stable_sort(PointEdits.begin(), PointEdits.end(),
                     [](const TPointEdit* a, const TPointEdit* b) { return ComparePointEdits(a, b) < 0; });

    CurrentArcher = std::make_unique<TArcher>();
    // Until an archer is read there is nothing to type for.
    showNoArcher();
    if (!dmHost)
        throw ENoDataSetError("There is no data context for the points window");
    CurrentArcher->dataset = &dmHost->IBQryArcher;
    CurrentArcher->pointsDataset = &dmHost->IBQryPoints;

    dmHost->SortArchers(ArcherOrder);
    dmHost->IBQryArcher.first();
    CurrentArcher->ReadArcherInDatabase(-1, false, dmHost);
    setArcherLoaded(true);
    ShowArcher(*CurrentArcher);
}

void TfrmVuRudiCompetition::FormShow(QObject*)
{
    BusyCursor busy;
    if (!dmHost)
        throw ENoDataSetError("There is no data context for the points window");
    // The module may have been handed another data context since the last show.
    CurrentArcher->dataset = &dmHost->IBQryArcher;
    CurrentArcher->pointsDataset = &dmHost->IBQryPoints;

    dmHost->SortArchers(ArcherOrder);
    db::Query& archers = dmHost->IBQryArcher;
    if (archers.isEmpty()) {
        showNoArcher();
        FillLaneTree();
        return;
    }
    archers.first();
    readCurrentArcher(CurrentArcher->ID);
    // The archer read may not be the one the boxes showed (it was deleted,
    // or the data context changed): no box keeps an earlier archer's text.
    ClearEdits();
    ShowArcher(*CurrentArcher);
    FillLaneTree();
}

bool TfrmVuRudiCompetition::FormClose(QObject*)
{
    // The window only hides; after a conflict it stays open on the arrows.
    return commitStep();
}

void TfrmVuRudiCompetition::FormDestroy(QObject*)
{
    CurrentArcher.reset();
    PointEdits.clear();
}

void TfrmVuRudiCompetition::FormKeyDown(QObject*, int Key, Qt::KeyboardModifiers)
{
    if (Key == Qt::Key_PageUp)
        dxBtnPrior->click();
    else if (Key == Qt::Key_PageDown)
        dxBtnNext->click();
}

void TfrmVuRudiCompetition::dxBtnFindClick(QObject*)
{
    if (!dmHost)
        return;
    ShowMessage(dmHost->IBQryArcher.fieldByName("NAME").asString());
}

void TfrmVuRudiCompetition::dxBtnPriorClick(QObject*)
{
    moveArcher(false);
}

void TfrmVuRudiCompetition::dxBtnNextClick(QObject*)
{
    moveArcher(true);
}

void TfrmVuRudiCompetition::moveArcher(bool forward)
{
    BusyCursor busy;
    if (!commitStep() || !dmHost)
        return;
    db::Query& archers = dmHost->IBQryArcher;
    if (archers.isEmpty())
        return; // no archer to move to
    if (forward) {
        archers.next();
        if (archers.eof())
            archers.first();
    } else {
        archers.prior();
        if (archers.bof())
            archers.last();
    }
    loadStep();
}

void TfrmVuRudiCompetition::pe1Change(QObject* Sender)
{
    if (auto* arrow = qobject_cast<TPointEdit*>(Sender); arrow && arrow->sumEdit)
        arrow->sumEdit->CalculateSum();
    else if (auto* sum = qobject_cast<TSumEdit*>(Sender); sum && sum->sumEdit)
        sum->sumEdit->CalculateSum();
}

void TfrmVuRudiCompetition::AllowOnlyArcheryValues(QObject* Sender, char16_t& Key)
{
    auto* box = qobject_cast<TPointEdit*>(Sender);
    if (!box)
        return;
    if (Key == 13) {
        Key = 0;
        focusNextPrevChild(true);
        return;
    }
    box->ChangedByUser = true;
    Changed = true;

    constexpr char16_t Backspace = 8;
    const bool anyValue = (Key >= u'0' && Key <= u'9') || Key == u'M' || Key == u'm' || Key == u'X' || Key == u'x'
        || Key == Backspace;
    bool passes;
    if (box->text().isEmpty() || box->hasSelectedText())
        passes = anyValue;
    else if (box->text() == QLatin1String("1"))
        passes = Key == u'0' || Key == Backspace; // 1 may still become 10
    else
        passes = Key == Backspace;
    if (!passes)
        Key = 0;
}

void TfrmVuRudiCompetition::fctvRangeChange(QObject*, QTreeWidgetItem* Node)
{
    BusyCursor busy;
    if (!commitStep() || !Node || !dmHost)
        return;
    const std::string data = Node->data(0, NodeDataRole).toString().toLatin1().toStdString();
    if (!IsNumeric(data))
        return; // a lane node: the archer stays, and so does Changed
    db::Query& archers = dmHost->IBQryArcher;
    if (archers.active() && archers.locate("ARCHERID", {db::Value(StrToInt(data))}))
        loadStep();
}

void TfrmVuRudiCompetition::fctvRangeClick(QObject*)
{
    // The current node may have lost its selection (a click with Ctrl held).
    QTreeWidgetItem* node = fctvRange->currentItem();
    if (!node || !node->isSelected())
        return;
    const std::string data = node->data(0, NodeDataRole).toString().toLatin1().toStdString();
    // Brings back the archer of a node still selected after a move.
    if (IsNumeric(data) && (!archerLoaded_ || StrToInt(data) != CurrentArcher->ID))
        fctvRangeChange(fctvRange, node);
}

void TfrmVuRudiCompetition::ShowArcher(const TArcher& Archer)
{
    setValueText(lblIDVal, QString::number(Archer.ID));
    setValueText(lblLaneVal, latin1(Archer.Lane));
    setValueText(lblNameVal, latin1(Archer.Name));
    setValueText(lblBowTypeVal, latin1(Archer.BowType));
    setValueText(lblShootingClassVal, latin1(Archer.ShootingClass));
    setValueText(lblSexVal, latin1(Archer.sex));
    setValueText(lblAgeClassVal, latin1(Archer.AgeClass));
    setValueText(lblCountryVal, latin1(Archer.Country));

    bool focusPlaced = false;
    for (const auto& arrow : Archer.Results) {
        TPointEdit* box = boxFor(arrow->RoundNo, arrow->ArrowNo);
        if (!box)
            continue; // an arrow without a box is never shown
        const QString text = arrowText(*arrow);
        box->setText(text);
        // The first arrow still to shoot takes the focus.
        if (text.isEmpty() && !focusPlaced) {
            box->setFocus(Qt::OtherFocusReason);
            focusPlaced = true;
        }
    }
}

void TfrmVuRudiCompetition::CopyEditsToPoints()
{
    if (!CurrentArcher)
        return;
    auto& results = CurrentArcher->Results;
    bool appended = false;
    // Arrows appended for boxes without a stored arrow go to their place in
    // round and arrow order, also when an unreadable box ends the copy.
    auto keepOrder = qScopeGuard([&] {
        if (appended)
            std::stable_sort(results.begin(), results.end(),
                             [](const auto& a, const auto& b) { return CompareArcheryPoints(*a, *b) < 0; });
    });
    for (const TPointEdit* box : std::as_const(PointEdits)) {
        const QString text = box->text();
        const std::int32_t points = PointTextToValue(text);
        auto stored = std::find_if(results.begin(), results.end(), [box](const auto& arrow) {
            return arrow->RoundNo == box->RoundNo && arrow->ArrowNo == box->ArrowNo;
        });
        TArcheryPoint* arrow = nullptr;
        if (stored != results.end()) {
            arrow = stored->get();
        } else {
            auto added = std::make_unique<TArcheryPoint>();
            added->RoundNo = box->RoundNo;
            added->ArrowNo = box->ArrowNo;
            arrow = added.get();
            results.push_back(std::move(added));
            appended = true;
        }
        arrow->Point = points;
        arrow->Cross = text.toUpper() == QLatin1String("X");
        arrow->EmptyScore = text.isEmpty();
    }
}

void TfrmVuRudiCompetition::ClearEdits()
{
    for (TPointEdit* box : std::as_const(PointEdits))
        box->setText(QString());
}

void TfrmVuRudiCompetition::FillLaneTree()
{
    // Rebuilding is no selection by the operator.
    const QSignalBlocker quiet(fctvRange);
    fctvRange->clear();
    if (!dmHost)
        return;
    db::Query& archers = dmHost->IBQryArcher;
    db::Query& countries = dmHost->IBQryCountry;
    // Next and Prior go on from the archer on display, whatever the fill meets.
    auto backToDisplayed = qScopeGuard([&] {
        try {
            if (archers.active()) {
                archers.first();
                if (archerLoaded_)
                    archers.locate("ARCHERID", {db::Value(CurrentArcher->ID)});
            }
        } catch (const std::exception&) {
            // The fill's own error, if any, is the one to report.
        }
    });

    const QIcon laneIcon = nodeIcon(*ilArchers, LaneImage);
    const QIcon archerIcon = nodeIcon(*ilArchers, ArcherImage);
    // The nodes are built apart and handed to the tree at once.
    QList<QTreeWidgetItem*> lanes;
    auto addLane = [&](std::int32_t laneNo) {
        auto* lane = new QTreeWidgetItem(QStringList(QString::number(laneNo)));
        setNodeImage(lane, laneIcon, LaneImage);
        lane->setData(0, NodeDataRole, QString());
        lanes.append(lane);
        return lane;
    };
    auto insertLanes = qScopeGuard([&] { fctvRange->addTopLevelItems(lanes); });

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

bool TfrmVuRudiCompetition::commitStep()
{
    if (!archerLoaded_)
        return true; // no archer on display: nothing to copy or save
    CopyEditsToPoints();
    if (!Changed)
        return true;
    try {
        saveArrowsWithBoxes();
    } catch (const EOtherUserError&) {
        ShowMessage(OtherStationSavingText);
        return false;
    }
    return true;
}

void TfrmVuRudiCompetition::saveArrowsWithBoxes()
{
    // Stored arrows that no box shows (beyond the 60) are set aside, so that
    // the save neither writes nor locks their rows, and put back afterwards.
    auto& results = CurrentArcher->Results;
    std::vector<std::pair<std::size_t, std::unique_ptr<TArcheryPoint>>> aside;
    for (std::size_t i = 0; i < results.size(); ++i)
        if (!boxFor(results[i]->RoundNo, results[i]->ArrowNo))
            aside.emplace_back(i, std::move(results[i]));
    if (aside.empty()) {
        CurrentArcher->savePoints();
        return;
    }
    std::erase(results, nullptr);
    auto putBack = qScopeGuard([&] {
        for (auto& [index, arrow] : aside)
            results.insert(results.begin() + static_cast<std::ptrdiff_t>(index), std::move(arrow));
    });
    CurrentArcher->savePoints();
}

void TfrmVuRudiCompetition::loadStep()
{
    ClearEdits();
    CurrentArcher->Clear();
    readCurrentArcher(-1);
    Changed = false;
    ShowArcher(*CurrentArcher);
}

void TfrmVuRudiCompetition::readCurrentArcher(std::int32_t archerNo)
{
    archerLoaded_ = false;
    try {
        CurrentArcher->ReadArcherInDatabase(archerNo, true, dmHost);
    } catch (...) {
        // No archer to type for until a read succeeds.
        setArcherLoaded(false);
        throw;
    }
    setArcherLoaded(true);
}

TPointEdit* TfrmVuRudiCompetition::boxFor(std::int32_t round, std::int32_t arrow) const
{
    if (round < 1 || round > 2 || arrow < 1 || arrow > ArrowsPerRound)
        return nullptr;
    // The boxes stand in round, then arrow order.
    const qsizetype index = (round - 1) * ArrowsPerRound + (arrow - 1);
    if (index < PointEdits.size()) {
        TPointEdit* box = PointEdits.at(index);
        if (box->RoundNo == round && box->ArrowNo == arrow)
            return box;
    }
    for (TPointEdit* box : PointEdits)
        if (box->RoundNo == round && box->ArrowNo == arrow)
            return box;
    return nullptr;
}

void TfrmVuRudiCompetition::setArcherLoaded(bool loaded)
{
    archerLoaded_ = loaded;
    for (TPointEdit* box : std::as_const(PointEdits))
        box->setEnabled(loaded);
    const bool anyArcher = dmHost && !dmHost->IBQryArcher.isEmpty();
    dxBtnPrior->setEnabled(anyArcher);
    dxBtnNext->setEnabled(anyArcher);
}

void TfrmVuRudiCompetition::showNoArcher()
{
    ClearEdits();
    setArcherLoaded(false);
    for (QLabel* value : {lblIDVal, lblLaneVal, lblNameVal, lblBowTypeVal, lblShootingClassVal, lblSexVal,
                          lblAgeClassVal, lblCountryVal})
        setValueText(value, QString());
}
