#include "results/competition_edit.h"

#include "core/command_error.h"
#include "core/latin1.h"
#include "db/connection.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "results/competition.h"

#include <QDate>
#include <QRegularExpression>

#include <map>

namespace {

const char* const kColumns[] = {"NAME", "PLACE", "CONTESTTYPE", "STARTDATE", "FINISHEDDATE", "RANGELASTLETTER",
                                "RANGENUMBERLANES"};

bool isDateColumn(const std::string& column)
{
    return column == "STARTDATE" || column == "FINISHEDDATE";
}

// A date as YYYY-MM-DD that is a day of the calendar.
void checkDate(const std::string& column, const QString& value)
{
    static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (!form.match(value).hasMatch() || !QDate::fromString(value, Qt::ISODate).isValid())
        throw CommandError(column + " \"" + value.toStdString() + "\" is no date: give it as YYYY-MM-DD, e.g. "
                           + QDate::currentDate().toString(Qt::ISODate).toStdString());
}

// The given values by column, checked; a date as its text.
std::map<std::string, std::string> readAssignments(const QStringList& assignments)
{
    std::map<std::string, std::string> given;
    for (const QString& a : assignments) {
        const qsizetype eq = a.indexOf(u'=');
        const std::string column = a.left(eq).trimmed().toUpper().toStdString();
        if (eq <= 0 || (column != "NAME" && column != "PLACE" && !isDateColumn(column)))
            throw CommandError("\"" + a.toStdString() + "\" is none of NAME=..., PLACE=..., STARTDATE=YYYY-MM-DD, "
                               "FINISHEDDATE=YYYY-MM-DD");
        const QString value = a.mid(eq + 1).trimmed();
        if (isDateColumn(column) && !value.isEmpty())
            checkDate(column, value);
        QString bad;
        const auto bytes = toLatin1Exact(value, &bad);
        if (!bytes)
            throw CommandError(latin1Refusal(column, bad));
        if (bytes->size() > 80)
            throw CommandError(column + " has at most 80 characters");
        if (!given.emplace(column, *bytes).second)
            throw CommandError(column + " is given twice");
    }
    if (given.empty())
        throw CommandError("nothing to set: give NAME=..., PLACE=..., STARTDATE=YYYY-MM-DD or FINISHEDDATE=YYYY-MM-DD");
    return given;
}

} // namespace

QString competitionDetailsText(db::Connection& connection)
{
    const Competition c = readCompetition(connection);
    if (c.name.empty())
        return QStringLiteral("no details yet; set them with tallyon competition DB set NAME=... PLACE=... "
                              "STARTDATE=YYYY-MM-DD [FINISHEDDATE=YYYY-MM-DD]\n");
    return QStringLiteral("Name:          %1\nPlace:         %2\nStart date:    %3\nFinished date: %4\n")
        .arg(fromLatin1(c.name), fromLatin1(c.place), QString::fromStdString(c.startDate),
             QString::fromStdString(c.finishedDate));
}

void setCompetitionDetails(db::Connection& connection, const QStringList& assignments)
{
    const std::map<std::string, std::string> given = readAssignments(assignments);
    db::Transaction transaction(&connection);
    // The row as it is, dates as text, so that it can be written back whole.
    std::map<std::string, db::Value> row;
    {
        db::Query q(&connection, &transaction);
        q.sqlAdd("select first 1 NAME, PLACE, CONTESTTYPE, cast(STARTDATE as varchar(10)) as STARTDATE,");
        q.sqlAdd("  cast(FINISHEDDATE as varchar(10)) as FINISHEDDATE, RANGELASTLETTER, RANGENUMBERLANES");
        q.sqlAdd("from COMPETITION");
        q.open();
        for (const char* column : kColumns)
            row[column] = q.isEmpty() ? db::Value() : q.fieldByName(column).value();
        q.close();
    }
    for (const auto& [column, value] : given)
        row[column] = value.empty() ? db::Value() : db::Value(value);
    if (row["NAME"].isNull() || row["NAME"].toText().empty())
        throw CommandError("the competition needs a NAME");
    const std::string start = row["STARTDATE"].isNull() ? "" : row["STARTDATE"].toText();
    const std::string finished = row["FINISHEDDATE"].isNull() ? "" : row["FINISHEDDATE"].toText();
    if (!start.empty() && !finished.empty() && finished < start)
        throw CommandError("FINISHEDDATE " + finished + " is before STARTDATE " + start);

    // One row: whatever rows there were give way to the one written.
    connection.executeImmediate("delete from COMPETITION", transaction);
    db::Statement insert(&connection, &transaction);
    insert.sqlAdd("insert into COMPETITION (NAME, PLACE, CONTESTTYPE, STARTDATE, FINISHEDDATE, RANGELASTLETTER,");
    insert.sqlAdd("  RANGENUMBERLANES) values (?, ?, ?, cast(? as date), cast(? as date), ?, ?)");
    std::vector<db::Value> params;
    for (const char* column : kColumns)
        params.push_back(row[column]);
    insert.execute(params);
    transaction.commit();
}
