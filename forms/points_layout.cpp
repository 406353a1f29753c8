// The points window's controls: their names, places, sizes, links and Tab
// order, and the events they send to the window's handlers.

#include "forms/points_layout.h"

#include "forms/error_display.h"
#include "forms/key_preview.h"
#include "forms/lane_tree.h"
#include "forms/uVuRudiCompetition.h"

#include <QFontInfo>
#include <QKeyEvent>

#include <array>

namespace {

using F = TfrmVuRudiCompetition;

// Sizes at 96 pixels per inch, relative to the parent.
constexpr int DesignClientWidth = 688;
constexpr int DesignClientHeight = 474;
constexpr int FrameWidth = 696 - DesignClientWidth;
constexpr int FrameHeight = 501 - DesignClientHeight;
constexpr int BarHeight = 41;
constexpr int BoxWidth = 30;
constexpr int BoxHeight = 21;

constexpr const char* NoArchersHint =
    "This competition has no archers yet: add them with: tallyon import DATABASE FILE.csv";

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
constexpr std::array<int, EndsPerRound> RowTops{24, 51, 79, 106, 134, 161, 189, 216, 244, 272};
constexpr int RoundSumTop = 304;
constexpr int GrandTotalTop = 336;

struct RoundPanelLayout {
    const char* panelName;
    const char* captionName;
    const char* captionText;
    QLabel* F::*caption;
    TRoundPanel* F::*panel;
    QRect geometry;
    std::array<int, ArrowsPerEnd> arrowLefts;
    int endSumLeft;
    int pairSumLeft; // also the round sum's and the grand total's
};
const std::array<RoundPanelLayout, RoundCount> RoundPanels{{
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

} // namespace

QString ArrowBoxName(int round, int arrow)
{
    if (arrow <= 2)
        return (round == 1 ? QStringLiteral("pe") : QStringLiteral("PointEdit")) + QString::number(arrow);
    return QStringLiteral("PointEdit") + QString::number(round == 1 ? arrow : arrow + 28);
}

QString SumBoxName(int round, int k)
{
    return (round == 1 ? QStringLiteral("se") : QStringLiteral("SumEdit")) + QString::number(k);
}

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
    chainTabOrder();
    wireEvents();

    try {
        FormCreate(this);
    } catch (...) {
        creationError_ = CurrentErrorMessage();
    }
}

TfrmVuRudiCompetition::~TfrmVuRudiCompetition()
{
    keyPreview_.reset();
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
        // Archer texts are shown as written, also one that looks like markup.
        (this->*pair.value)->setTextFormat(Qt::PlainText);
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
    lblNoArchers = makeLabel(Panel2, "lblNoArchers", QLatin1String(NoArchersHint), {8, 14}, false);
    lblNoArchers->hide();
}

namespace {

// Makes one round panel's boxes and links each box to the sum it feeds as
// soon as both exist.
struct RoundPanelBoxes {
    F& form;
    int round;
    const RoundPanelLayout& layout;
    TRoundPanel* panel;

    TPointEdit*& arrowBox(int arrow) const
    {
        return form.*arrowMembers(round).at(static_cast<std::size_t>(arrow - 1));
    }
    TSumEdit*& sumBox(int k) const { return form.*sumMembers(round).at(static_cast<std::size_t>(k - 1)); }

    TSumEdit* addSum(int k, int left, int top) const
    {
        auto* box = new TSumEdit(panel);
        box->setObjectName(SumBoxName(round, k));
        box->setGeometry(left, top, BoxWidth, BoxHeight);
        sumBox(k) = box;
        form.Components.append(box);
        return box;
    }

    // The end's sum, fed by the end's arrow boxes that exist already.
    void addEndSum(int end) const
    {
        TSumEdit* sum = addSum(end, layout.endSumLeft, RowTops.at(static_cast<std::size_t>(end - 1)));
        for (int arrow = ArrowsPerEnd * (end - 1) + 1; arrow <= ArrowsPerEnd * end; ++arrow)
            if (TPointEdit* box = arrowBox(arrow))
                box->sumEdit = sum;
    }

    void addArrowBoxes() const
    {
        for (int arrow = 1; arrow <= ArrowsPerRound; ++arrow) {
            const int row = (arrow - 1) / ArrowsPerEnd;
            auto* box = new TPointEdit(panel);
            box->setObjectName(ArrowBoxName(round, arrow));
            box->setGeometry(layout.arrowLefts.at(static_cast<std::size_t>((arrow - 1) % ArrowsPerEnd)),
                             RowTops.at(static_cast<std::size_t>(row)), BoxWidth, BoxHeight);
            box->RoundNo = round;
            box->ArrowNo = arrow;
            box->ChangedByUser = false;
            box->sumEdit = sumBox(row + 1); // only the first end's sum exists yet
            arrowBox(arrow) = box;
            form.Components.append(box);
        }
    }

    // The sums of two ends, the round's sum over them, and after the second
    // round the grand total over both rounds.
    void addPairAndRoundSums() const
    {
        for (int pair = 1; pair <= EndsPerRound / 2; ++pair) {
            TSumEdit* sum = addSum(EndsPerRound + pair, layout.pairSumLeft,
                                   RowTops.at(static_cast<std::size_t>(2 * pair - 1)));
            sumBox(2 * pair - 1)->sumEdit = sum;
            sumBox(2 * pair)->sumEdit = sum;
        }
        TSumEdit* roundSum = addSum(16, layout.pairSumLeft, RoundSumTop);
        for (int pair = 1; pair <= EndsPerRound / 2; ++pair)
            sumBox(EndsPerRound + pair)->sumEdit = roundSum;
        if (round == RoundCount) {
            form.SumEdit17 = addSum(17, layout.pairSumLeft, GrandTotalTop);
            form.se16->sumEdit = form.SumEdit17;
            form.SumEdit16->sumEdit = form.SumEdit17;
        }
    }
};

} // namespace

// Every link from a box to the sum it feeds is made as soon as both boxes
// exist, so the sum tree is whole when the last box is created.
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

    const RoundPanelBoxes boxes{*this, round, layout, panel};
    boxes.addEndSum(1);
    boxes.addArrowBoxes();
    for (int end = 2; end <= EndsPerRound; ++end)
        boxes.addEndSum(end);
    boxes.addPairAndRoundSums();
}

void TfrmVuRudiCompetition::createLaneTree()
{
    auto* tree = new LaneTree(WindowColour, this);
    tree->OnClick = [this] { Guarded([this] { fctvRangeClick(fctvRange); }); };
    fctvRange = tree;
    fctvRange->setObjectName(QStringLiteral("fctvRange"));
    fctvRange->setGeometry(8, 48, 185, 369);
    Components.append(fctvRange);
}

// Tab runs Prior, Next, the arrows of round 1, those of round 2, the lane
// tree, and round again. Sum boxes, labels and panels are no tab stops.
void TfrmVuRudiCompetition::chainTabOrder()
{
    QList<QWidget*> chain{dxBtnPrior, dxBtnNext};
    for (int round = 1; round <= RoundCount; ++round)
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
        if (auto* arrow = qobject_cast<TPointEdit*>(box)) {
            box->installEventFilter(keyFilter);
            // Every change the operator makes marks the archer, also one
            // without a typed character: Delete, cut, paste, the box's menu.
            connect(arrow, &QLineEdit::textEdited, this, [this, arrow] {
                arrow->ChangedByUser = true;
                Changed = true;
                journalTypedArrow(*arrow);
            });
        }
    }
    connect(dxBtnFind, &QPushButton::clicked, this, [this] { Guarded([this] { dxBtnFindClick(dxBtnFind); }); });
    connect(dxBtnPrior, &QPushButton::clicked, this, [this] { Guarded([this] { dxBtnPriorClick(dxBtnPrior); }); });
    connect(dxBtnNext, &QPushButton::clicked, this, [this] { Guarded([this] { dxBtnNextClick(dxBtnNext); }); });
    connect(fctvRange, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) {
        Guarded([&] { fctvRangeChange(fctvRange, node); });
    });
    // A click anywhere in the tree, on a node or not, goes to fctvRangeClick
    // through the tree itself.

    // Key preview: the window sees each key press before the focused control.
    keyPreview_ = std::make_unique<KeyPreview>(this, [this](QObject* receiver, const QKeyEvent& key) {
        Guarded([&] { FormKeyDown(receiver, key.key(), key.modifiers()); });
        // A page key has moved one archer; the focused control does not page
        // on its own as well (the lane tree would select another archer).
        return key.key() == Qt::Key_PageUp || key.key() == Qt::Key_PageDown;
    });
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
