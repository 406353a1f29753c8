// The points window's creation and show, the display of an archer, the
// key filter and the sum update, the copy of the boxes into the archer's
// arrows, and the lane tree's fill.

#include "forms/uVuRudiCompetition.h"

#include "core/integer_text.h"
#include "data/uTallyonData.h"
#include "forms/arrow_text.h"
#include "forms/error_display.h"
#include "forms/plain_text.h"
#include "forms/points_layout.h"
#include "model/cursor_seam.h"
#include "model/message_seam.h"

#include <QScopeGuard>
#include <QSignalBlocker>
#include <QShowEvent>

#include <algorithm>
#include <utility>

namespace {

// The order of the archers for Prior, Next and the lane tree.
const std::string ArcherOrder = "LANENO, LANELETTER";

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
    label->setToolTip(shown == text ? QString() : PlainToolTip(text));
    label->resize(std::min(label->sizeHint().width(), room), LabelHeight);
}

} // namespace

void TfrmVuRudiCompetition::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        Guarded([this] { FormShow(this); });
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
    if (dmHost->IBQryArcher.isEmpty()) {
        showNoArcher(); // with the hint where the archers come from
        return;
    }
    dmHost->IBQryArcher.first();
    CurrentArcher->ReadArcherInDatabase(-1, false, dmHost);
    setArcherLoaded(true);
    ShowArcher(*CurrentArcher);
}

void TfrmVuRudiCompetition::FormShow(QObject*)
{
    // An error of the creation handler waits until the window is on screen:
    // a message box of its own would stand alone, and block a program that
    // only wants a picture of the window.
    if (!creationError_.isEmpty() && isVisible())
        ShowError(std::exchange(creationError_, QString()));
    BusyCursor busy;
    if (!dmHost)
        throw ENoDataSetError("There is no data context for the points window");
    // The module may have been handed another data context since the last show.
    if (CurrentArcher->dataset != &dmHost->IBQryArcher)
        removedArchers_.clear();
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
    std::int32_t shown = CurrentArcher->ID;
    if (removedArchers_.contains(shown)) {
        // Gone since the window showed the archer: the first one still there.
        while (!archers.eof() && removedArchers_.contains(archers.fieldByName("ARCHERID").asInteger()))
            archers.next();
        if (archers.eof()) {
            showNoArcher();
            FillLaneTree();
            return;
        }
        shown = -1;
    }
    readCurrentArcher(shown);
    // The archer read may not be the one the boxes showed (it was deleted,
    // or the data context changed): no box keeps an earlier archer's text.
    withSumsHeld([this] {
        ClearEdits();
        ShowArcher(*CurrentArcher);
    });
    FillLaneTree();
}

void TfrmVuRudiCompetition::FormDestroy(QObject*)
{
    CurrentArcher.reset();
    PointEdits.clear();
}

void TfrmVuRudiCompetition::pe1Change(QObject* Sender)
{
    if (sumsHeld_) {
        // Worked out once the boxes are all written.
        if (auto* arrow = qobject_cast<TPointEdit*>(Sender); arrow && arrow->sumEdit
            && !heldSums_.contains(arrow->sumEdit))
            heldSums_.append(arrow->sumEdit);
        return;
    }
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

    withSumsHeld([&] {
        for (const auto& arrow : Archer.Results) {
            TPointEdit* box = boxFor(arrow->RoundNo, arrow->ArrowNo);
            if (box) // an arrow without a box is never shown
                box->setText(ArrowText(*arrow));
        }
    });
    // The first arrow still to shoot takes the focus, round 1 arrow 1 when
    // nothing is stored; with every arrow shot the focus stays. An archer
    // chosen by a key typed in the lane tree leaves the focus there: the
    // keys after it still belong to the tree, never to an arrow box.
    if (const auto* tree = dynamic_cast<const LaneTree*>(fctvRange); tree && tree->HandlingKey())
        return;
    const auto firstEmpty = std::find_if(PointEdits.cbegin(), PointEdits.cend(),
                                         [](const TPointEdit* box) { return box->text().isEmpty(); });
    if (firstEmpty != PointEdits.cend() && (*firstEmpty)->isEnabled())
        (*firstEmpty)->setFocus(Qt::OtherFocusReason);
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
        PointTextToValue(text); // an unreadable box ends the copy before its arrow changes
        takeBoxText(arrowOfBox(*box, appended), text);
    }
}

TArcheryPoint& TfrmVuRudiCompetition::arrowOfBox(const TPointEdit& box, bool& appended)
{
    auto& results = CurrentArcher->Results;
    auto stored = std::find_if(results.begin(), results.end(), [&box](const auto& arrow) {
        return arrow && arrow->RoundNo == box.RoundNo && arrow->ArrowNo == box.ArrowNo;
    });
    if (stored != results.end())
        return **stored;
    auto added = std::make_unique<TArcheryPoint>();
    added->RoundNo = box.RoundNo;
    added->ArrowNo = box.ArrowNo;
    results.push_back(std::move(added));
    appended = true;
    return *results.back();
}

void TfrmVuRudiCompetition::takeBoxText(TArcheryPoint& arrow, const QString& text)
{
    arrow.Point = PointTextToValue(text);
    arrow.Cross = text.toUpper() == QLatin1String("X");
    arrow.EmptyScore = text.isEmpty();
}

void TfrmVuRudiCompetition::ShowStoredValuesKept()
{
    if (!CurrentArcher)
        return;
    withSumsHeld([this] {
        for (const auto& arrow : CurrentArcher->Results) {
            TPointEdit* box = boxFor(arrow->RoundNo, arrow->ArrowNo);
            if (!box)
                continue;
            // The box as it was copied; only an arrow the save changed differs.
            const QString text = box->text();
            if (PointTextToValue(text) != arrow->Point || (text.toUpper() == QLatin1String("X")) != arrow->Cross
                || text.isEmpty() != arrow->EmptyScore)
                box->setText(ArrowText(*arrow));
        }
    });
}

void TfrmVuRudiCompetition::ClearEdits()
{
    withSumsHeld([this] {
        for (TPointEdit* box : std::as_const(PointEdits))
            box->setText(QString());
    });
}

void TfrmVuRudiCompetition::withSumsHeld(const std::function<void()>& write)
{
    if (sumsHeld_) {
        write(); // the outermost hold works the sums out
        return;
    }
    // Also after a failed write: the sums always match the boxes.
    // Still held meanwhile: the sums climb here, level by level.
    const auto workOut = qScopeGuard([this] {
        // As the change handler would have, but each sum once a level: the
        // sums of the changed arrows, then the sums above those that
        // changed, up to the grand total, which feeds nothing. A sum met
        // again on a higher level is worked out again, after every sum it
        // adds up.
        QList<TSumEdit*> level = std::exchange(heldSums_, {});
        while (!level.isEmpty()) {
            QList<TSumEdit*> up;
            for (TSumEdit* sum : std::as_const(level)) {
                const QString before = sum->text();
                Guarded([sum] { sum->CalculateSum(); });
                if (sum->text() != before && sum != SumEdit17 && sum->sumEdit && !up.contains(sum->sumEdit))
                    up.append(sum->sumEdit);
            }
            level = up;
        }
        sumsHeld_ = false;
    });
    sumsHeld_ = true;
    write();
}

void TfrmVuRudiCompetition::FillLaneTree()
{
    // Rebuilding is no selection by the operator.
    const QSignalBlocker quiet(fctvRange);
    fctvRange->clear();
    if (!dmHost)
        return;
    db::Query& archers = dmHost->IBQryArcher;
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
    FillLaneNodes(*fctvRange, archers, dmHost->IBQryCountry, *ilArchers);
    hideRemovedArcherNodes();
}

void TfrmVuRudiCompetition::setArcherLoaded(bool loaded)
{
    archerLoaded_ = loaded;
    for (TPointEdit* box : std::as_const(PointEdits))
        box->setEnabled(loaded);
    const bool anyArcher = dmHost && !dmHost->IBQryArcher.isEmpty();
    dxBtnPrior->setEnabled(anyArcher);
    dxBtnNext->setEnabled(anyArcher);
    lblNoArchers->setVisible(!anyArcher);
}

void TfrmVuRudiCompetition::showNoArcher()
{
    ClearEdits();
    setArcherLoaded(false);
    for (QLabel* value : {lblIDVal, lblLaneVal, lblNameVal, lblBowTypeVal, lblShootingClassVal, lblSexVal,
                          lblAgeClassVal, lblCountryVal})
        setValueText(value, QString());
}
