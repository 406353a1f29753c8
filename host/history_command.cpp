#include "host/history_command.h"

#include "core/command_error.h"
#include "core/csv_writer.h"
#include "core/latin1.h"
#include "core/terminal_text.h"
#include "data/competition_io.h"
#include "data/points_history.h"
#include "db/connection.h"
#include "host/commands.h"
#include "roster/roster.h"

#include <QFile>
#include <QSaveFile>

#include <iostream>

namespace {

QString latin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString shown(const std::optional<std::string>& value)
{
    if (!value)
        return QStringLiteral("none");
    return value->empty() ? QStringLiteral("empty") : latin1(*value);
}

// "14:32:05 station hall-2 round 1 arrow 4: 9 -> 10" and who it was.
QString line(const PointsChange& c, bool withArcher)
{
    QString text = QString::fromStdString(c.changedAt.substr(11)) + QStringLiteral(" station ")
        + (c.station.empty() ? QStringLiteral("(unnamed)") : latin1(c.station));
    if (withArcher)
        text += QStringLiteral(" archer %1 (%2)").arg(c.archer).arg(latin1(c.lane));
    text += QStringLiteral(" round %1 arrow %2: %3 -> %4").arg(c.round).arg(c.arrow).arg(shown(c.oldValue), shown(c.newValue));
    text += QStringLiteral(" (user %1)").arg(latin1(c.user));
    return terminalSafe(text);
}

} // namespace

int runHistoryCommand(const Invocation& in)
{
    std::optional<std::int32_t> archer;
    std::optional<std::string> lane;
    if (const auto l = in.value("--lane")) {
        if (in.arguments.size() > 1)
            throw UsageError("usage: tallyon history DB ID|--lane LANE [--csv FILE]");
        const auto bytes = toLatin1Exact(QString::fromLocal8Bit(l->c_str()));
        if (!bytes || bytes->empty())
            throw CommandError("--lane \"" + *l + "\" is no lane");
        lane = *bytes;
    } else if (in.arguments.size() == 2) {
        archer = archerIdArgument(QString::fromLocal8Bit(in.arguments[1].c_str()));
    } else {
        throw UsageError("usage: tallyon history DB ID|--lane LANE [--csv FILE]");
    }

    db::Connection connection;
    openCompetitionDatabase(connection, in.login);
    checkCompetitionSchema(connection, in.login.database);
    if (!EnsurePointsHistory(connection))
        throw CommandError(in.login.database + " keeps no history of the arrows, and this login cannot add it; "
                           "open it once as the organiser");
    const std::vector<PointsChange> changes = ReadPointsHistory(connection, archer, lane);
    connection.disconnect();

    if (const auto csv = in.value("--csv")) {
        CsvWriter writer;
        writer.addRow({QStringLiteral("TIME"), QStringLiteral("STATION"), QStringLiteral("USER"),
                       QStringLiteral("ARCHERID"), QStringLiteral("LANE"), QStringLiteral("NAME"),
                       QStringLiteral("ROUNDNO"), QStringLiteral("ARROWNO"), QStringLiteral("OLD"),
                       QStringLiteral("NEW")});
        for (const PointsChange& c : changes)
            writer.addRow({QString::fromStdString(c.changedAt), latin1(c.station), latin1(c.user),
                           QString::number(c.archer), latin1(c.lane), latin1(c.name), QString::number(c.round),
                           QString::number(c.arrow), c.oldValue ? latin1(*c.oldValue) : QString(),
                           c.newValue ? latin1(*c.newValue) : QString()});
        QSaveFile file(QString::fromLocal8Bit(csv->c_str()));
        if (!file.open(QIODevice::WriteOnly) || file.write(writer.bytes()) != writer.bytes().size()
            || !file.commit())
            throw CommandError("cannot write " + *csv + ": " + file.errorString().toStdString());
        std::cout << "wrote " << changes.size() << (changes.size() == 1 ? " change" : " changes") << " to " << *csv
                  << "\n";
        return 0;
    }
    if (changes.empty()) {
        std::cout << "no arrow of " << (archer ? "archer " + std::to_string(*archer) : "lane " + *lane)
                  << " has been changed\n";
        return 0;
    }
    std::string day;
    for (const PointsChange& c : changes) {
        // The date once, above the changes of the day.
        if (c.changedAt.substr(0, 10) != day) {
            day = c.changedAt.substr(0, 10);
            std::cout << day << "\n";
        }
        std::cout << line(c, !archer).toLocal8Bit().toStdString() << "\n";
    }
    return 0;
}
