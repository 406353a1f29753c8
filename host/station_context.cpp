#include "host/station_context.h"

#include "core/command_error.h"
#include "data/competition_login.h"
#include "data/points_history.h"
#include "journal/station_journal.h"
#include "data/uTallyonData.h"
#include "db/connection.h"
#include "db/field.h"
#include "db/query.h"

#include <QString>
#include <QSysInfo>

#include <cctype>
#include <string>

namespace {

// The host's bodies of the data context's events.
void installDataContextHandlers(TdmTallyon& dm)
{
    dm.IBQryArcher.onNewRecord = [](db::Query& q) {
        q.fieldByName("ENABLETEAM").setFlag(true);
        q.fieldByName("ENABLEFINALS").setFlag(true);
    };
    dm.IBQryArcher.beforePost = [](db::Query& q) {
        // A lane label left empty is made of the lane's number and letter.
        db::Field lane = q.fieldByName("LANE");
        if (lane.asString().empty() && !q.fieldByName("LANENO").isNull())
            lane.setString(q.fieldByName("LANENO").asString() + q.fieldByName("LANELETTER").asString());
    };
    dm.IBQryPoints.onPostError = [](db::Query&, const db::DbError&, db::PostErrorAction& action) {
        // The module tells a lock conflict from other failures itself.
        action = db::PostErrorAction::Fail;
    };
}

} // namespace

std::string DefaultStationName()
{
    std::string name;
    for (const char c : QSysInfo::machineHostName().toLatin1().toStdString())
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.')
            name += c;
    return name.empty() ? std::string("station") : name.substr(0, 40);
}

std::string CheckedStationName(const std::string& given)
{
    bool plain = !given.empty() && given.size() <= 40;
    for (const char c : given)
        plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == ' ' || c == '-' || c == '_' || c == '.');
    if (!plain)
        throw CommandError("\"" + given + "\" cannot name a station: 1 to 40 letters, digits, spaces, '.', '-' or '_'");
    return given;
}

void SetUpStationContext(TdmTallyon& dm, const CompetitionLogin& login, std::chrono::seconds lockTimeout,
                         const std::string& station)
{
    for (db::Connection* connection : {&dm.IBDBCompetition, &dm.IBDBBaseClasses})
        connection->setSessionContext({{kStationContextName, station}});
    dm.IBTransPoints.params() = {"concurrency", "wait", "lock_timeout=" + std::to_string(lockTimeout.count())};
    installDataContextHandlers(dm);
    // A file of this process cannot go silent; a server can (stopped,
    // unplugged, its network gone).
    if (IsServerDatabase(login.database)) {
        for (db::Connection* connection : {&dm.IBDBCompetition, &dm.IBDBBaseClasses}) {
            connection->setConnectTimeout(kServerAnswerTimeout);
            connection->setOperationTimeout(kServerAnswerTimeout);
        }
    }
}

std::unique_ptr<StationJournal> OpenStationJournal(const CompetitionLogin& login, std::string& station,
                                                   bool stationNamed)
{
    constexpr int kMaxWindowsPerComputer = 9;
    const QString database = QString::fromStdString(login.database);
    auto journal = std::make_unique<StationJournal>(database, QString::fromStdString(station));
    const std::string given = station;
    for (int n = 2; !stationNamed && journal->heldByAnotherProgram() && n <= kMaxWindowsPerComputer; ++n) {
        station = given + "-" + std::to_string(n);
        journal = std::make_unique<StationJournal>(database, QString::fromStdString(station));
    }
    return journal;
}
