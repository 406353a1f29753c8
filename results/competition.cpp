#include "results/competition.h"

#include "core/latin1.h"
#include "db/connection.h"
#include "db/query.h"
#include "db/transaction.h"

#include <QStringList>

Competition readCompetition(db::Connection& connection, db::Transaction& transaction)
{
    Competition c;
    db::Query q(&connection, &transaction);
    q.sqlAdd("select first 1 NAME, PLACE, cast(STARTDATE as varchar(10)) as STARTDATE,");
    q.sqlAdd("  cast(FINISHEDDATE as varchar(10)) as FINISHEDDATE from COMPETITION");
    q.open();
    if (!q.isEmpty()) {
        c.name = q.fieldByName("NAME").asString();
        c.place = q.fieldByName("PLACE").asString();
        c.startDate = q.fieldByName("STARTDATE").asString();
        c.finishedDate = q.fieldByName("FINISHEDDATE").asString();
    }
    q.close();
    return c;
}

Competition readCompetition(db::Connection& connection)
{
    db::Transaction transaction(&connection);
    transaction.params() = {"read_committed", "rec_version", "read"};
    Competition c = readCompetition(connection, transaction);
    transaction.commit();
    return c;
}

QString competitionDates(const Competition& competition)
{
    const QString start = QString::fromStdString(competition.startDate);
    const QString finished = QString::fromStdString(competition.finishedDate);
    if (start.isEmpty())
        return finished;
    if (finished.isEmpty() || finished == start)
        return start;
    return start + QStringLiteral(" to ") + finished;
}

QString competitionHeading(const Competition& competition)
{
    QStringList parts;
    for (const std::string* text : {&competition.name, &competition.place})
        if (!text->empty())
            parts << fromLatin1(*text);
    const QString dates = competitionDates(competition);
    if (!dates.isEmpty())
        parts << dates;
    return parts.join(QStringLiteral(", "));
}
