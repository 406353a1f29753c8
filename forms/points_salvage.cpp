// Saving what can be saved when the run ends from outside (a signal): the
// boxes an arrow can score are stored, the others are named, not stored.

#include "forms/uVuRudiCompetition.h"

#include <QScopeGuard>

#include <algorithm>
#include <exception>

namespace {

QString oneLineText(const char* text)
{
    QString line = QString::fromLocal8Bit(text).simplified();
    return line.isEmpty() ? QStringLiteral("unknown error") : line;
}

} // namespace

QStringList TfrmVuRudiCompetition::SaveWhatCanBeSaved() noexcept
{
    QStringList notStored;
    if (!archerLoaded_ || !CurrentArcher || !Changed)
        return notStored;
    const QString who = QStringLiteral("archer %1 (%2 %3)")
                            .arg(CurrentArcher->ID)
                            .arg(QString::fromLatin1(CurrentArcher->Lane.c_str()),
                                 QString::fromLatin1(CurrentArcher->Name.c_str()));
    try {
        auto& results = CurrentArcher->Results;
        // The arrow of a box holding an impossible text keeps its stored
        // value: set aside for the save, put back afterwards.
        std::vector<std::unique_ptr<TArcheryPoint>> aside;
        auto putBack = qScopeGuard([&] {
            std::erase(results, nullptr);
            for (auto& arrow : aside)
                results.push_back(std::move(arrow));
            std::stable_sort(results.begin(), results.end(),
                             [](const auto& a, const auto& b) { return CompareArcheryPoints(*a, *b) < 0; });
        });
        for (TPointEdit* box : std::as_const(PointEdits)) {
            auto stored = std::find_if(results.begin(), results.end(), [box](const auto& arrow) {
                return arrow && arrow->RoundNo == box->RoundNo && arrow->ArrowNo == box->ArrowNo;
            });
            if (!box->HoldsArcheryValue()) {
                notStored << who + QStringLiteral(": round %1 arrow %2 holds \"%3\", not stored")
                                       .arg(box->RoundNo)
                                       .arg(box->ArrowNo)
                                       .arg(box->text().left(12));
                if (stored != results.end())
                    aside.push_back(std::move(*stored));
                continue;
            }
            bool appended = false;
            takeBoxText(arrowOfBox(*box, appended), box->text());
        }
        std::erase(results, nullptr);
        std::stable_sort(results.begin(), results.end(),
                         [](const auto& a, const auto& b) { return CompareArcheryPoints(*a, *b) < 0; });
        saveArrowsWithBoxes();
        Changed = !notStored.isEmpty();
    } catch (const EOtherUserError& e) {
        notStored << who + QStringLiteral(": another station is saving this archer; the arrows typed are not stored (")
                + oneLineText(e.what()) + u')';
    } catch (const std::exception& e) {
        notStored << who + QStringLiteral(": the arrows typed are not stored: ") + oneLineText(e.what());
    } catch (...) {
        notStored << who + QStringLiteral(": the arrows typed are not stored");
    }
    return notStored;
}
