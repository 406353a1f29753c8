// The points window's moves: Prior and Next, the page keys, the lane tree
// and closing, each saving the arrows typed before the next archer is read.

#include "forms/uVuRudiCompetition.h"

#include "core/integer_text.h"
#include "data/uTallyonData.h"
#include "forms/error_display.h"
#include "forms/points_layout.h"
#include "forms/typed_ahead.h"
#include "model/cursor_seam.h"
#include "model/message_seam.h"

#include <QSet>
#include <QCloseEvent>
#include <QScopeGuard>

namespace {

// Told once for each save that meets another station's lock.
const std::string OtherStationSavingText =
    "Another station is saving this archer's arrows right now, so nothing has been stored yet.\n"
    "The arrows stay as typed and are saved again with the next move or when the window closes.";

} // namespace

void TfrmVuRudiCompetition::closeEvent(QCloseEvent* event)
{
    bool close = false;
    Guarded([&] { close = FormClose(this); });
    if (close)
        event->accept(); // the window only hides
    else
        event->ignore();
}

bool TfrmVuRudiCompetition::FormClose(QObject*)
{
    // The window only hides; after a conflict it stays open on the arrows.
    return commitStep();
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
    if (!recovering_.empty()) {
        showNextRecoveredArcher(); // arrows of an earlier run come first
        return;
    }
    moveFromDisplayedArcher(forward);
}

void TfrmVuRudiCompetition::moveFromDisplayedArcher(bool forward)
{
    db::Query& archers = dmHost->IBQryArcher;
    if (archers.isEmpty())
        return; // no archer to move to
    const bool leavingRemoved = archerLoaded_ && removedArchers_.contains(CurrentArcher->ID);
    // Archers removed by another station are passed over.
    const int rows = archers.recordCount();
    for (int step = 0; step < rows; ++step) {
        if (forward) {
            archers.next();
            if (archers.eof())
                archers.first();
        } else {
            archers.prior();
            if (archers.bof())
                archers.last();
        }
        if (!removedArchers_.contains(archers.fieldByName("ARCHERID").asInteger()))
            break;
    }
    if (removedArchers_.contains(archers.fieldByName("ARCHERID").asInteger())) {
        showNoArcher(); // every archer is gone
        return;
    }
    loadStep();
    if (leavingRemoved)
        hideRemovedArcherNodes();
}

void TfrmVuRudiCompetition::fctvRangeChange(QObject*, QTreeWidgetItem* Node)
{
    BusyCursor busy;
    if (!commitStep() || !Node || !dmHost)
        return;
    const std::string nodeData = Node->data(0, NodeDataRole).toString().toLatin1().toStdString();
    if (!IsNumeric(nodeData)) {
        // A lane node: the archer stays, and so does Changed; an archer that
        // is gone makes way for the next one.
        if (archerLoaded_ && removedArchers_.contains(CurrentArcher->ID))
            moveFromDisplayedArcher(true);
        return;
    }
    const std::int32_t id = StrToInt(nodeData);
    const bool leavingRemoved = archerLoaded_ && removedArchers_.contains(CurrentArcher->ID);
    db::Query& archers = dmHost->IBQryArcher;
    if (!removedArchers_.contains(id) && archers.active() && archers.locate("ARCHERID", {db::Value(id)}))
        loadStep();
    if (leavingRemoved)
        hideRemovedArcherNodes();
}

void TfrmVuRudiCompetition::fctvRangeClick(QObject*)
{
    // The current node may have lost its selection (a click with Ctrl held).
    QTreeWidgetItem* node = fctvRange->currentItem();
    if (!node || !node->isSelected())
        return;
    const std::string nodeData = node->data(0, NodeDataRole).toString().toLatin1().toStdString();
    // Brings back the archer of a node still selected after a move.
    if (IsNumeric(nodeData) && (!archerLoaded_ || StrToInt(nodeData) != CurrentArcher->ID))
        fctvRangeChange(fctvRange, node);
}

bool TfrmVuRudiCompetition::commitStep()
{
    if (!archerLoaded_)
        return true; // no archer on display: nothing to copy or save
    if (Changed && refuseImpossibleArrows())
        return false;
    CopyEditsToPoints();
    if (!Changed)
        return true;
    try {
        saveArrowsWithBoxes();
    } catch (const EOtherUserError&) {
        DropInputTypedAhead(); // the keys were meant for the next archer
        ShowMessage(OtherStationSavingText);
        return false;
    } catch (const EArcherRemovedError& removed) {
        // Nothing to store any more: the window moves on without it.
        ShowMessage(removed.what());
        removedArchers_.insert(CurrentArcher->ID);
        Changed = false;
        return true;
    }
    // Another station's arrows that the save kept are shown as stored.
    ShowStoredValuesKept();
    return true;
}

bool TfrmVuRudiCompetition::refuseImpossibleArrows()
{
    std::string found;
    TPointEdit* first = nullptr;
    for (TPointEdit* box : std::as_const(PointEdits)) {
        if (box->HoldsArcheryValue())
            continue;
        if (!first)
            first = box;
        found += "\nround " + std::to_string(box->RoundNo) + " arrow " + std::to_string(box->ArrowNo) + " holds \""
            + box->text().left(12).toLatin1().toStdString() + "\"";
    }
    if (!first)
        return false;
    DropInputTypedAhead(); // the keys were meant for the next archer
    ShowMessage(std::string("Nothing has been stored yet: ") + ArcheryValuesText + "." + found);
    // The operator mends the first of them: what is typed replaces it.
    first->setFocus(Qt::OtherFocusReason);
    first->selectAll();
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
    // The archer on display stays whole until the next one is read: a read
    // that fails leaves the window, and the archer query, on it.
    const bool hadArcher = archerLoaded_;
    TArcher displayed;
    CurrentArcher->SwapRecord(displayed);
    try {
        CurrentArcher->Clear();
        CurrentArcher->ReadArcherInDatabase(-1, true, dmHost);
    } catch (...) {
        if (hadArcher) {
            CurrentArcher->SwapRecord(displayed);
            backToDisplayedRow();
        } else {
            ClearEdits();
            setArcherLoaded(false);
        }
        throw;
    }
    setArcherLoaded(true);
    withSumsHeld([this] {
        Changed = false;
        // Each box written once: emptied here only when the archer has no
        // arrow for it, else set by ShowArcher.
        QSet<const TPointEdit*> shown;
        for (const auto& arrow : CurrentArcher->Results)
            shown.insert(boxFor(arrow->RoundNo, arrow->ArrowNo));
        for (TPointEdit* box : std::as_const(PointEdits))
            if (!shown.contains(box))
                box->setText(QString());
        ShowArcher(*CurrentArcher);
    });
}

void TfrmVuRudiCompetition::backToDisplayedRow() noexcept
{
    try {
        if (dmHost && dmHost->IBQryArcher.active())
            dmHost->IBQryArcher.locate("ARCHERID", {db::Value(CurrentArcher->ID)});
    } catch (const std::exception&) {
        // The read's own error is the one to report.
    }
}

void TfrmVuRudiCompetition::hideRemovedArcherNodes()
{
    for (int lane = 0; lane < fctvRange->topLevelItemCount(); ++lane) {
        QTreeWidgetItem* laneNode = fctvRange->topLevelItem(lane);
        for (int i = 0; i < laneNode->childCount(); ++i) {
            QTreeWidgetItem* node = laneNode->child(i);
            const std::string nodeData = node->data(0, NodeDataRole).toString().toLatin1().toStdString();
            if (IsNumeric(nodeData) && removedArchers_.contains(StrToInt(nodeData)))
                node->setHidden(true);
        }
    }
}

bool TfrmVuRudiCompetition::SwitchDataContext(TdmTallyon* dm)
{
    if (dm == dmHost)
        return true;
    {
        BusyCursor busy;
        if (!commitStep())
            return false; // the operator has been told; the window stays
    }
    dmHost = dm;
    // The journal belongs to the competition it was given for.
    journal_ = nullptr;
    recovering_.clear();
    CurrentArcher->OnPointsSaved = nullptr;
    removedArchers_.clear();
    Changed = false;
    CurrentArcher->Clear(); // the new competition's first archer
    setArcherLoaded(false);
    FormShow(this);
    return true;
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
    if (round < 1 || round > RoundCount || arrow < 1 || arrow > ArrowsPerRound)
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
