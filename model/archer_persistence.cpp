// Reading an archer and its arrows from the competition database, and
// writing the arrows and the lane back.

#include "model/uTallyonClasses.h"

#include "data/uTallyonData.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/transaction.h"
#include "db/write_block.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Another user's transaction holds the row: the server's lock conflict says
// "deadlock". An append of an arrow that another station appended at the
// same time waits for that station and then ends in a duplicate key: the
// same conflict, not a fault of the arrow.
bool isOtherUserConflict(const std::exception& error, bool appending)
{
    if (std::string_view(error.what()).find("deadlock") != std::string_view::npos)
        return true;
    if (dynamic_cast<const db::LockConflictError*>(&error))
        return true;
    return appending && dynamic_cast<const db::DuplicateKeyError*>(&error);
}

// Commits an active points transaction and closes an open points query, so
// that a read or a save starts clean.
void startClean(db::Query& points)
{
    if (db::Transaction* transaction = points.effectiveTransaction(); transaction && transaction->inTransaction())
        transaction->commit();
    if (points.active())
        points.close();
}

void selectArrowsOf(db::Query& points, std::int32_t archerId)
{
    points.sqlClear();
    points.sqlAdd("SELECT * FROM POINTS");
    points.sqlAdd("WHERE ARCHERID = '" + std::to_string(archerId) + "'");
    points.sqlAdd("ORDER BY ROUNDNO, ARROWNO");
}

} // namespace

void TArcher::ReadArcherInDatabase(std::int32_t archerNo, bool readPoints, TdmTallyon* dm)
{
    if (!dm)
        dm = dmTallyon;
    if (!dataset)
        throw ENoDataSetError("There is no table connected to the TArcher");
    if (!dataset->active() || dataset->isEmpty())
        throw EEmptyDataSetError("The Archer table is empty");

    try {
        if (archerNo != -1)
            dataset->locate("ARCHERID", {db::Value(archerNo)});
        if (!dm)
            throw EArcherError("There is no data context for the TArcher's lookups");

        ID = dataset->fieldByName("ARCHERID").asInteger();
        rowReadFor_ = ID;
        Name = dataset->fieldByName("NAME").asString();
        Lane = dataset->fieldByName("LANE").asString();
        UserDefined1 = dataset->fieldByName("USERDEF1").asString();
        UserDefined2 = dataset->fieldByName("USERDEF2").asString();
        BowType = dm->GetBowTypeDescription(dataset->fieldByName("BOWTYPE").asInteger());
        AgeClass = dm->GetAgeClassDescription(dataset->fieldByName("AGECLASSNO").asInteger());
        ShootingClass = dm->GetShootingClassDescription(dataset->fieldByName("SHOOTINGCLASS").asInteger());
        Country = dm->GetCountryName(dataset->fieldByName("COUNTRYNUMBER").asInteger());
        sex = dataset->fieldByName("SEX").asString();
        canAdvanceToFinals = dataset->fieldByName("ENABLEFINALS").asFlag();
        canBeOnTeam = dataset->fieldByName("ENABLETEAM").asFlag();

        if (readPoints)
            ReadPointsInDatabase();
    } catch (const std::exception& error) {
        // The cause stays attached: a caller may answer a lost connection.
        std::throw_with_nested(EArcherDBError(std::string("Unable to read in Archer table. ") + error.what()));
    }
}

void TArcher::ReadPointsInDatabase()
{
    if (!pointsDataset)
        throw ENoDataSetError("There is no points table connected to the TArcher");
    db::Query& points = *pointsDataset;

    Results.clear();
    loaded_.clear();
    kept_.clear();
    readFor_ = ID;
    startClean(points);
    selectArrowsOf(points, ID);
    points.open();
    points.first();
    while (!points.eof()) {
        auto point = std::make_unique<TArcheryPoint>();
        point->RoundNo = points.fieldByName("ROUNDNO").asInteger();
        point->ArrowNo = points.fieldByName("ARROWNO").asInteger();
        point->Cross = points.fieldByName("CROSS").asFlag();
        point->Point = points.fieldByName("POINT").asInteger();
        point->EmptyScore = points.fieldByName("EMPTYSCORE").asFlag();
        loaded_[{point->RoundNo, point->ArrowNo}] = valueOf(*point);
        Results.push_back(std::move(point));
        points.next();
    }
    std::sort(Results.begin(), Results.end(),
              [](const auto& a, const auto& b) { return CompareArcheryPoints(*a, *b) < 0; });
    points.close();
}

TArcher::ArrowValue TArcher::valueOf(const TArcheryPoint& point)
{
    return {point.Point, point.Cross, point.EmptyScore};
}

TArcher::ArrowValue TArcher::loadedValue(const ArrowKey& key) const
{
    auto found = loaded_.find(key);
    return found != loaded_.end() ? found->second : ArrowValue{};
}

namespace {

// The select that finds the archer's row: asked alone, or carried by the
// save's block of writes.
constexpr const char* kArcherRowSelect = "SELECT ARCHERID FROM ARCHER WHERE ARCHERID = ?";

// The archer's row as the save's transaction sees it; false when another
// station has removed the archer. Read without a lock: a station's login may
// read archers but not change them, and a lock is a change to the server.
bool archerRowExists(db::Query& points, std::int32_t archerId)
{
    db::Query archer(points.connection(), points.effectiveTransaction());
    archer.sqlAdd(kArcherRowSelect);
    archer.setParams({db::Value(archerId)});
    archer.open();
    const bool found = !archer.isEmpty();
    archer.close();
    return found;
}

// The archer's row is one the archer dataset's own transaction has made and
// not committed yet: no other transaction sees it, and it is not gone.
bool uncommittedRowOfTheArcherDataset(db::Query* archers, std::int32_t archerId)
{
    if (!archers || !archers->connection() || !archers->effectiveTransaction())
        return false;
    db::Query own(archers->connection(), archers->effectiveTransaction());
    own.sqlAdd("SELECT ARCHERID FROM ARCHER WHERE ARCHERID = " + std::to_string(archerId)
               + " AND RDB$RECORD_VERSION = CURRENT_TRANSACTION");
    own.open();
    const bool found = !own.isEmpty();
    own.close();
    return found;
}

} // namespace

namespace {

// An arrow's value as the boxes show it.
std::string arrowText(std::int32_t point, bool cross, bool empty)
{
    if (empty)
        return "empty";
    if (cross)
        return "X";
    if (point == 0)
        return "M";
    return std::to_string(point);
}

// Ends the save's transaction without keeping any of its work and closes
// the points query. Never throws: the save's own error is the one to report.
void undoSave(db::Query& points) noexcept
{
    points.cancel();
    try {
        if (db::Transaction* transaction = points.effectiveTransaction(); transaction && transaction->inTransaction())
            transaction->rollback();
    } catch (const std::exception&) {
        // A transaction that cannot even roll back is gone with its work.
    }
    points.close();
}

} // namespace

// What one save does with each typed arrow of Results.
struct TArcher::SavePlan {
    struct Write {
        TArcheryPoint* point;
        bool found;     // the arrow has a stored row to update
        bool differs;   // the stored row is not already what the write stores
    };
    struct Conflict {
        ArrowKey key;
        ArrowValue stored;
        ArrowValue typed;
    };

    explicit SavePlan(const std::vector<std::unique_ptr<TArcheryPoint>>& results)
    {
        for (const auto& point : results)
            latest[{point->RoundNo, point->ArrowNo}] = point.get();
    }

    bool sendsWrites() const
    {
        return std::any_of(writes.begin(), writes.end(), [](const Write& w) { return w.differs; });
    }

    // One arrow held twice: the later one is saved.
    std::map<ArrowKey, TArcheryPoint*> latest;
    std::vector<Write> writes;
    std::vector<std::pair<TArcheryPoint*, ArrowValue>> storedWins;
    std::vector<Conflict> conflicts;
};

void TArcher::savePoints()
{
    if (!pointsDataset)
        throw ENoDataSetError("There is no Pointstable connected to the TArcher");
    db::Query& points = *pointsDataset;

    SavePlan plan(Results);
    try {
        openStoredArrows(points);
        sortTypedArrows(points, plan);
        // A removed archer is told before conflicts; when rows are to be
        // written, their block asks for the archer's row itself.
        if (!plan.conflicts.empty() || !plan.sendsWrites())
            makeSureArcherIsThere(points);
        if (plan.conflicts.empty())
            writeArrows(points, plan);
    } catch (const EOtherUserError&) {
        // The save's work is already undone; the query stays open.
        throw;
    } catch (...) {
        undoSave(points);
        throw;
    }
    if (!plan.conflicts.empty())
        reportConflicts(points, plan);
    takeSavedAsBase(plan);
    if (OnPointsSaved)
        OnPointsSaved(ID);
}

// Opens the archer's stored rows in a new transaction of the points query.
void TArcher::openStoredArrows(db::Query& points)
{
    startClean(points);
    selectArrowsOf(points, ID);
    points.open();   // fetches every row in this new transaction
    if (readFor_ == ID)
        return;
    // Arrows never read for this archer: what this first save finds stored
    // is the base, not another station's change.
    loaded_.clear();
    kept_.clear();
    for (points.first(); !points.eof(); points.next())
        loaded_[{points.fieldByName("ROUNDNO").asInteger(), points.fieldByName("ARROWNO").asInteger()}] =
            {points.fieldByName("POINT").asInteger(), points.fieldByName("CROSS").asFlag(),
             points.fieldByName("EMPTYSCORE").asFlag()};
    readFor_ = ID;
}

// Only an archer read from its row can have been removed since.
bool TArcher::archerMayBeGone() const
{
    return rowReadFor_ == ID;
}

// EOtherUserError when another station is saving this archer,
// EArcherRemovedError when another station removed the archer.
void TArcher::makeSureArcherIsThere(db::Query& points)
{
    bool archerThere = !archerMayBeGone();
    try {
        if (!archerThere)
            archerThere = archerRowExists(points, ID) || uncommittedRowOfTheArcherDataset(dataset, ID);
    } catch (const std::exception& error) {
        if (!isOtherUserConflict(error, false))
            throw;
        // Another station is saving this archer.
        points.effectiveTransaction()->rollbackRetaining();
        throw EOtherUserError("");
    }
    if (!archerThere)
        throwArcherRemoved();
}

void TArcher::throwArcherRemoved() const
{
    std::string lane = Lane.empty() ? std::string() : ", lane " + Lane;
    throw EArcherRemovedError("Archer " + std::to_string(ID) + " (" + Name + lane
                              + ") is no longer in the competition: another station removed the archer. "
                                "The arrows typed for the archer were not stored.");
}

namespace {

// The arrow's row at the query's cursor holds exactly what writing the
// arrow would store: the same number and the flags as they are written.
bool storedAsWritten(db::Query& points, const TArcheryPoint& point)
{
    const db::Value& stored = points.fieldByName("POINT").value();
    const auto sameFlag = [&](const char* column, bool flag) {
        const db::Value& text = points.fieldByName(column).value();
        return text.isText() && text.toText() == (flag ? "T" : "F");
    };
    return stored.isInteger() && stored.toInteger() == point.Point && sameFlag("CROSS", point.Cross)
        && sameFlag("EMPTYSCORE", point.EmptyScore);
}

} // namespace

// Sorts each typed arrow into a write, a stored value that wins, or a
// conflict. The stored rows are those this transaction sees, against the
// arrows as they were read: a row that another station changed after that
// read and before the write makes the write conflict.
void TArcher::sortTypedArrows(db::Query& points, SavePlan& plan)
{
    for (const auto& point : Results) {
        const ArrowKey key{point->RoundNo, point->ArrowNo};
        if (plan.latest[key] != point.get())
            continue;
        const bool found = points.locate("ROUNDNO;ARROWNO", {db::Value(key.first), db::Value(key.second)});
        ArrowValue stored;
        if (found) {
            stored.Point = points.fieldByName("POINT").asInteger();
            stored.Cross = points.fieldByName("CROSS").asFlag();
            stored.EmptyScore = points.fieldByName("EMPTYSCORE").asFlag();
        }
        const ArrowValue typed = valueOf(*point);
        // The operator left an arrow alone that still shows its value as
        // read, or another station's value a save kept.
        ArrowValue base = loadedValue(key);
        if (auto kept = kept_.find(key); kept != kept_.end() && typed == kept->second)
            base = kept->second;
        if (stored != base && typed == base)
            plan.storedWins.emplace_back(point.get(), stored);
        else if (stored != base && typed != stored)
            plan.conflicts.push_back({key, stored, typed});
        else
            plan.writes.push_back({point.get(), found, !found || !storedAsWritten(points, *point)});
    }
}

// Updates or appends the rows and commits: all or nothing. EOtherUserError
// when another user holds a row.
void TArcher::writeArrows(db::Query& points, const SavePlan& plan)
{
    sendChangedArrows(points, plan);
    commitSave(points);
}

// The rows that differ from what they should hold, updated or appended in
// as few requests as the server takes: an arrow already stored as typed is
// not written again.
void TArcher::sendChangedArrows(db::Query& points, const SavePlan& plan)
{
    db::WriteBlock block(points.connection(), points.effectiveTransaction());
    bool appending = false;
    for (const SavePlan::Write& write : plan.writes) {
        if (!write.differs)
            continue;
        const TArcheryPoint& point = *write.point;
        if (write.found) {
            points.locate("ROUNDNO;ARROWNO", {db::Value(point.RoundNo), db::Value(point.ArrowNo)});
            points.edit();
        } else {
            points.append();
            points.fieldByName("ARCHERID").setInteger(ID);
            points.fieldByName("ROUNDNO").setInteger(point.RoundNo);
            points.fieldByName("ARROWNO").setInteger(point.ArrowNo);
            appending = true;
        }
        points.fieldByName("POINT").setInteger(point.Point);
        points.fieldByName("CROSS").setFlag(point.Cross);
        points.fieldByName("EMPTYSCORE").setFlag(point.EmptyScore);
        points.postTo(block);
    }
    // The block stores nothing when the save's transaction no longer sees
    // the archer's row: asked in the same request as the writes (without
    // writes, savePoints has asked already).
    if (archerMayBeGone() && !block.empty())
        block.onlyWhenFound(kArcherRowSelect, {db::Value(ID)});
    try {
        if (block.execute())
            return;
        // Not seen: removed by another station, or made by the archer
        // dataset's own transaction and not committed yet.
        if (!uncommittedRowOfTheArcherDataset(dataset, ID))
            throwArcherRemoved();
        block.dropCondition();
        block.execute();
    } catch (const EArcherRemovedError&) {
        throw;
    } catch (const std::exception& error) {
        if (!isOtherUserConflict(error, appending))
            throw;
        // The query stays open on the transaction, its work undone.
        points.effectiveTransaction()->rollbackRetaining();
        throw EOtherUserError("");
    }
}

// The save's commit point: the arrows are stored from here on.
void TArcher::commitSave(db::Query& points)
{
    points.effectiveTransaction()->commit();
    points.close();
}

// Nothing was written: undoes the save and throws EArrowConflictError. The
// operator has now been told the stored values, so the next save stores the
// typed ones.
void TArcher::reportConflicts(db::Query& points, const SavePlan& plan)
{
    undoSave(points);
    std::string message = "Another station stored other values for arrows you changed as well; nothing of "
                          "this archer was saved.";
    for (const SavePlan::Conflict& c : plan.conflicts) {
        message += "\nRound " + std::to_string(c.key.first) + ", arrow " + std::to_string(c.key.second) +
                   ": stored " + arrowText(c.stored.Point, c.stored.Cross, c.stored.EmptyScore) + ", typed " +
                   arrowText(c.typed.Point, c.typed.Cross, c.typed.EmptyScore);
        loaded_[c.key] = c.stored;
        kept_.erase(c.key);
    }
    message += "\nMove on or close again to store the typed values.";
    throw EArrowConflictError(message);
}

// The written arrows are what the boxes now show. An arrow the other
// station's value won keeps its old baseline until the archer is read
// again: a box that still shows the old value is no change of the
// operator's, and the stored value keeps winning.
void TArcher::takeSavedAsBase(const SavePlan& plan)
{
    for (const SavePlan::Write& write : plan.writes) {
        const ArrowKey key{write.point->RoundNo, write.point->ArrowNo};
        loaded_[key] = valueOf(*write.point);
        kept_.erase(key);
    }
    for (auto& [point, stored] : plan.storedWins) {
        point->Point = stored.Point;
        point->Cross = stored.Cross;
        point->EmptyScore = stored.EmptyScore;
        kept_[{point->RoundNo, point->ArrowNo}] = stored;
    }
}

bool TArcher::SaveLaneToDatabase()
{
    if (!dataset)
        throw ENoDataSetError("There is no database connected to the TArcher");
    try {
        if (!dataset->locate("ARCHERID", {db::Value(ID)}))
            return false;
        dataset->edit();
        dataset->fieldByName("LANE").setString(Lane);
        dataset->post();
        return true;
    } catch (const db::DbError& error) {
        throw EArcherDBError(std::string("ArcherDBError: ") + error.what());
    } catch (const db::UsageError& error) {
        // The dataset's own refusals (closed, no such column) are database
        // errors as well.
        throw EArcherDBError(std::string("ArcherDBError: ") + error.what());
    } catch (const db::ConversionError& error) {
        throw EArcherDBError(std::string("ArcherDBError: ") + error.what());
    }
}
