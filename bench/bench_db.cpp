// The dataset layer against the bare client library, on an embedded database
// in a temporary folder: reading the archers in lane order, and saving one
// archer's 60 arrows; the median of several runs of each, layer and floor
// alternating.

#include "bench/bench_support.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "db/update_sql.h"

// The one file outside db/ with a Firebird header: the floor is the bare client API.
#include <firebird/Interface.h>

#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

using namespace Firebird;

namespace {

constexpr int archerCount = 5000;
constexpr int runs = 15;

const char* const archerOrder = "Select * from ARCHER\nORDER BY LANENO, LANELETTER";
const char* const archerPoints = "SELECT * FROM POINTS\nWHERE ARCHERID = '1'\nORDER BY ROUNDNO, ARROWNO";

// Runs a and b in turn, so that both see the same state of the database.
std::pair<double, double> medianPairMs(const std::function<void()>& a, const std::function<void()>& b)
{
    a(); // warm-up: prepares, page cache
    b();
    std::vector<double> ta, tb;
    for (int i = 0; i < runs; ++i) {
        ta.push_back(bench::elapsedMs(a));
        tb.push_back(bench::elapsedMs(b));
    }
    return {bench::median(ta), bench::median(tb)};
}

void createSchema(db::Connection& c, db::Transaction& t)
{
    c.executeImmediate("create table ARCHER (ARCHERID integer not null primary key, COUNTRYNUMBER integer, "
                       "NAME varchar(40), LANE varchar(10), SEX varchar(1), USERDEF1 varchar(40), "
                       "USERDEF2 varchar(40), BOWTYPE integer, AGECLASSNO integer, SHOOTINGCLASS integer, "
                       "ENABLETEAM varchar(1), ENABLEFINALS varchar(1), LANENO integer, LANELETTER varchar(1))",
                       t);
    c.executeImmediate("create table POINTS (ARCHERID integer not null, ROUNDNO integer not null, "
                       "ARROWNO integer not null, POINT integer, \"CROSS\" varchar(1), EMPTYSCORE varchar(1), "
                       "primary key (ARCHERID, ARROWNO, ROUNDNO))",
                       t);
    t.commit();

    db::Statement archer(&c, &t);
    archer.sqlAdd("insert into ARCHER values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (int i = 0; i < archerCount; ++i) {
        const int lane = (archerCount - i - 1) / 4 + 1; // inserted against the lane order
        const std::string letter(1, static_cast<char>('A' + i % 4));
        archer.execute({i + 1, i % 40, "Archer number " + std::to_string(i + 1), std::to_string(lane) + letter,
                        i % 2 ? "M" : "F", "Club " + std::to_string(i % 97), db::Value(), i % 3, i % 7, i % 5,
                        "T", "F", lane, letter});
    }
    db::Statement point(&c, &t);
    point.sqlAdd("insert into POINTS values (1, ?, ?, 0, 'F', 'T')");
    for (int round = 1; round <= 2; ++round)
        for (int arrow = 1; arrow <= 30; ++arrow)
            point.execute({round, arrow});
    t.commit();
}

} // namespace

void bench::datasetLayerFigures(Table& table)
{
    char folder[] = "/tmp/bench_db-XXXXXX";
    if (!mkdtemp(folder))
        throw std::runtime_error("no temporary folder");
    const std::string path = std::string(folder) + "/bench.fdb";
    try {
        db::Connection c;
        c.setDatabaseName(path);
        c.params() = bench::loginParams("SYSDBA", "masterkey");
        c.createDatabase();
        db::Transaction competition(&c);
        db::Transaction pointsTra(&c);
        c.setDefaultTransaction(&competition);
        createSchema(c, competition);

        IMaster* master = fb_get_master_interface();
        ThrowStatusWrapper st(master->getStatus());
        IAttachment* att = c.attachment();

        // (a) the archers in lane order through a query (open fetches every
        // row), against the bare select and fetch of the same statement.
        db::Query archers(&c, &competition);
        archers.sqlAdd("Select * from ARCHER");
        archers.sqlAdd("ORDER BY LANENO, LANELETTER");
        IStatement* select = att->prepare(&st, competition.ensureStarted(), 0, archerOrder, 3,
                                          IStatement::PREPARE_PREFETCH_METADATA);
        IMessageMetadata* outMeta = select->getOutputMetadata(&st);
        std::vector<unsigned char> outBuf(outMeta->getMessageLength(&st));
        int rows = 0;
        int rawRows = 0;
        const auto [layerSelect, rawSelect] = medianPairMs(
            [&] {
                archers.close();
                archers.open();
                rows = archers.recordCount();
            },
            [&] {
                IResultSet* rs = select->openCursor(&st, competition.ensureStarted(), nullptr, nullptr, outMeta, 0);
                rawRows = 0;
                while (rs->fetchNext(&st, outBuf.data()) == IStatus::RESULT_OK)
                    ++rawRows;
                rs->close(&st);
            });
        outMeta->release();
        select->free(&st);
        // No old snapshot may hold back the garbage of the updates below.
        competition.commit();

        // (b) one archer's 60 arrows: edit, set, post each row, then commit;
        // against 60 executes of one prepared update and a commit.
        db::UpdateSql upd;
        upd.ModifySQL = {"update POINTS", "set", "  ARCHERID = :ARCHERID,", "  ARROWNO = :ARROWNO,",
                         "  \"CROSS\" = :CROSS,", "  EMPTYSCORE = :EMPTYSCORE,", "  POINT = :POINT,",
                         "  ROUNDNO = :ROUNDNO", "where", "  ARCHERID = :OLD_ARCHERID and",
                         "  ARROWNO = :OLD_ARROWNO and", "  ROUNDNO = :OLD_ROUNDNO"};
        db::Query points(&c, &pointsTra);
        points.setUpdateObject(&upd);
        points.sqlAdd(archerPoints);
        int value = 0;
        auto postRows = [&] {
            ++value;
            for (points.first(); !points.eof(); points.next()) {
                points.edit();
                points.fieldByName("POINT").setInteger(value % 11);
                points.fieldByName("CROSS").setFlag(value % 11 == 10);
                points.fieldByName("EMPTYSCORE").setFlag(false);
                points.post();
            }
            pointsTra.commit();
        };

        ITransaction* prepTra = att->startTransaction(&st, 0, nullptr);
        IStatement* update = att->prepare(&st, prepTra, 0,
                                          "update POINTS set POINT = ?, \"CROSS\" = ?, EMPTYSCORE = ? "
                                          "where ARCHERID = ? and ARROWNO = ? and ROUNDNO = ?",
                                          3, 0);
        prepTra->commit(&st);
        // The declared parameters: INTEGER, VARCHAR(1), VARCHAR(1), INTEGER x3.
        IMessageMetadata* inMeta = update->getInputMetadata(&st);
        std::vector<unsigned char> inBuf(inMeta->getMessageLength(&st), 0);
        auto at = [&](unsigned i) { return inBuf.data() + inMeta->getOffset(&st, i); };
        auto setInt = [&](unsigned i, int v) { std::memcpy(at(i), &v, sizeof v); };
        auto setText = [&](unsigned i, const char* v) {
            unsigned short n = static_cast<unsigned short>(std::strlen(v));
            std::memcpy(at(i), &n, sizeof n);
            std::memcpy(at(i) + sizeof n, v, n);
        };
        auto rawUpdate = [&] {
            ++value;
            ITransaction* tra = att->startTransaction(&st, 0, nullptr);
            for (int round = 1; round <= 2; ++round)
                for (int arrow = 1; arrow <= 30; ++arrow) {
                    setInt(0, value % 11);
                    setText(1, value % 11 == 10 ? "T" : "F");
                    setText(2, "F");
                    setInt(3, 1);
                    setInt(4, arrow);
                    setInt(5, round);
                    update->execute(&st, tra, inMeta, inBuf.data(), nullptr, nullptr);
                }
            tra->commit(&st);
        };

        points.open();
        pointsTra.commit();
        const auto [layerUpdate, rawUpdateMs] = medianPairMs(postRows, rawUpdate);
        // The save as the archer model runs it: reopen, 60 posts, commit.
        const auto [layerSave, rawUpdateMs2] = medianPairMs(
            [&] {
                points.close();
                points.open();
                postRows();
            },
            rawUpdate);
        (void)rawUpdateMs2;
        points.close();
        inMeta->release();
        update->free(&st);
        st.dispose();

        table.add({"open and fetch " + std::to_string(rows) + " archers in lane order (db::Query)", layerSelect,
                   rawSelect, Goal::none()});
        table.add({"60 arrows edited, posted, committed (db::Query)", layerUpdate, rawUpdateMs, Goal::none()});
        table.add({"  the same with the reopen of the archer's arrows", layerSave, rawUpdateMs, Goal::none()});
    } catch (...) {
        std::filesystem::remove_all(folder);
        throw;
    }
    std::filesystem::remove_all(folder);
}
