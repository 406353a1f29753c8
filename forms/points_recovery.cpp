// The points window's edge to the station journal: each arrow typed goes to
// the journal, a committed save clears the archer's records, and arrows an
// earlier run left unsaved come back into the boxes.

#include "forms/uVuRudiCompetition.h"

#include "data/uTallyonData.h"
#include "forms/arrow_text.h"
#include "forms/question_display.h"
#include "model/message_seam.h"

#include <QDir>

#include <algorithm>

namespace {

QString typedText(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("(emptied)") : text;
}

} // namespace

void TfrmVuRudiCompetition::UseStationJournal(QObject* journal)
{
    journal_ = qobject_cast<StationJournal*>(journal);
    journalFailureTold_ = false;
    recovering_.clear();
    if (!CurrentArcher)
        return;
    if (!journal_) {
        CurrentArcher->OnPointsSaved = nullptr;
        return;
    }
    CurrentArcher->OnPointsSaved = [this](std::int32_t archerId) {
        if (journal_)
            journal_->archerSaved(archerId);
    };
    if (!journal_->ok()) {
        journalFailureTold_ = true;
        ShowMessage(("The station journal cannot be used (" + journal_->errorText()
                     + "): the arrows typed are safe only once a move or closing the window has stored them.")
                        .toStdString());
        return;
    }
    offerRecovery();
}

void TfrmVuRudiCompetition::journalTypedArrow(const TPointEdit& box)
{
    if (!journal_ || !archerLoaded_ || !CurrentArcher)
        return;
    QString asRead;
    const auto& results = CurrentArcher->Results;
    const auto stored = std::find_if(results.cbegin(), results.cend(), [&box](const auto& arrow) {
        return arrow && arrow->RoundNo == box.RoundNo && arrow->ArrowNo == box.ArrowNo;
    });
    if (stored != results.cend())
        asRead = ArrowText(**stored);
    if (journal_->recordArrow(CurrentArcher->ID, box.RoundNo, box.ArrowNo, asRead, box.text()) || journalFailureTold_)
        return;
    journalFailureTold_ = true;
    ShowMessage(("The station journal cannot be written (" + journal_->errorText()
                 + "): the arrows typed from now on are safe only once a move or closing the window has stored them.")
                    .toStdString());
}

QString TfrmVuRudiCompetition::archerCaption(std::int32_t id)
{
    db::Query& archers = dmHost->IBQryArcher;
    if (!archers.active() || !archers.locate("ARCHERID", {db::Value(id)})) {
        backToDisplayedRow();
        return {};
    }
    const QString caption = QStringLiteral("archer %1 (%2 %3)")
                                .arg(id)
                                .arg(QString::fromLatin1(archers.fieldByName("LANE").asString().c_str()),
                                     QString::fromLatin1(archers.fieldByName("NAME").asString().c_str()));
    backToDisplayedRow();
    return caption;
}

void TfrmVuRudiCompetition::offerRecovery()
{
    const auto unsaved = journal_->unsaved();
    if (unsaved.empty() || !dmHost)
        return;
    QString list;
    std::vector<StationJournal::UnsavedArcher> found;
    std::vector<std::int32_t> gone;
    for (const auto& archer : unsaved) {
        const QString caption = archerCaption(archer.archer);
        QStringList arrows;
        for (const auto& typed : archer.arrows)
            arrows << QStringLiteral("round %1 arrow %2: %3").arg(typed.round).arg(typed.arrow).arg(typedText(typed.text));
        if (caption.isEmpty()) {
            list += QStringLiteral("\narcher %1 (no longer in the competition, cannot be entered): ").arg(archer.archer)
                + arrows.join(QStringLiteral(", "));
            gone.push_back(archer.archer);
        } else {
            list += u'\n' + caption + QStringLiteral(": ") + arrows.join(QStringLiteral(", "));
            found.push_back(archer);
        }
    }
    const QString question =
        QStringLiteral("Arrows typed at this station were not stored: the program ended before a move or closing "
                       "the window stored them (%1).%2\n\n"
                       "Enter them now? Yes: each archer is shown in turn with these arrows typed in; check them, "
                       "then Next or Prior stores the archer and shows the next one. No: nothing is entered, and "
                       "the arrows are kept in a file of their own.")
            .arg(QDir::toNativeSeparators(journal_->path()), list);
    if (!AskQuestion(question)) {
        const QString kept = journal_->keepAside();
        if (kept.isEmpty())
            ShowMessage(("The arrows typed earlier were not entered, and could not be moved aside ("
                         + journal_->errorText() + "); they stay in " + QDir::toNativeSeparators(journal_->path())
                         + " and are offered again at the next start.")
                            .toStdString());
        else
            ShowMessage(("The arrows typed earlier were not entered; they are kept in "
                         + QDir::toNativeSeparators(kept) + ".")
                            .toStdString());
        return;
    }
    // An archer that is gone can take no arrows: its records are done with.
    for (const std::int32_t archer : gone)
        journal_->archerSaved(archer);
    recovering_.assign(found.begin(), found.end());
    if (recovering_.empty())
        return;
    if (Changed) {
        // Whatever is on display is stored first, as a move would.
        if (!commitStep())
            return; // the operator has been told; the next move goes on
    }
    showNextRecoveredArcher();
}

void TfrmVuRudiCompetition::showNextRecoveredArcher()
{
    while (!recovering_.empty()) {
        const StationJournal::UnsavedArcher archer = recovering_.front();
        recovering_.pop_front();
        db::Query& archers = dmHost->IBQryArcher;
        if (!archers.active() || !archers.locate("ARCHERID", {db::Value(archer.archer)})) {
            backToDisplayedRow(); // removed meanwhile: its records stay for the next start
            continue;
        }
        loadStep();
        withSumsHeld([&] {
            for (const auto& typed : archer.arrows) {
                TPointEdit* box = boxFor(typed.round, typed.arrow);
                if (!box)
                    continue;
                // The base the save merges against is the value the earlier
                // run read: another station's change since then is seen.
                TArcheryPoint asRead;
                try {
                    takeBoxText(asRead, typed.asRead);
                } catch (const std::exception&) {
                    continue; // a value as read is always readable; never guessed
                }
                CurrentArcher->TakeValueAsRead(typed.round, typed.arrow, asRead);
                box->setText(typed.text);
                box->ChangedByUser = true;
                Changed = true;
            }
        });
        return;
    }
}
