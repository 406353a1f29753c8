#include "roster/export.h"

#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/transaction.h"
#include "data/archer_names_select.h"
#include "data/competition_io.h"
#include "core/command_error.h"
#include "core/csv_writer.h"
#include "core/latin1.h"

#include <QSaveFile>

#include <array>

namespace {

const std::array<const char*, 17> kExportColumns = {
    "ARCHERID", "LANENO",   "LANELETTER",   "LANE",       "NAME",         "SEX",     "COUNTRY",
    "BOWTYPE",  "AGECLASS", "SHOOTINGCLASS", "USERDEF1",  "USERDEF2",     "ENABLETEAM", "ENABLEFINALS",
    "ROUNDNO",  "ARROWNO",  "ARROW"};

// The arrow as the card shows it.
QString arrowText(db::Query& q)
{
    if (q.fieldByName("ROUNDNO").isNull())
        return {};
    if (q.fieldByName("CROSS").asFlag())
        return QStringLiteral("X");
    if (q.fieldByName("EMPTYSCORE").asFlag())
        return {};
    const std::int32_t point = q.fieldByName("POINT").asInteger();
    return point != 0 ? QString::number(point) : QStringLiteral("M");
}

QString flagText(db::Query& q, const char* column)
{
    return q.fieldByName(column).asFlag() ? QStringLiteral("T") : QStringLiteral("F");
}

} // namespace

ExportSummary exportCompetition(const CompetitionLogin& login, const QString& csvPath, QChar separator)
{
    db::Connection connection;
    openCompetitionDatabase(connection, login);
    checkCompetitionSchema(connection, login.database);

    QSaveFile file(csvPath);
    if (!file.open(QIODevice::WriteOnly))
        throw CommandError("cannot write " + csvPath.toStdString() + ": " + file.errorString().toStdString());
    QStringList header;
    for (const char* column : kExportColumns)
        header << QString::fromLatin1(column);
    CsvWriteOptions options;
    options.separator = separator;
    CsvWriter csv(options);
    csv.addRow(header);

    ExportSummary summary;
    try {
        db::Transaction transaction(&connection);
        transaction.params() = {"concurrency", "read"};
        db::Query q(&connection, &transaction);
        q.sqlAdd("select " + archerNamesColumns() + ",");
        q.sqlAdd("  a.USERDEF1, a.USERDEF2, a.ENABLETEAM, a.ENABLEFINALS,");
        q.sqlAdd("  p.ROUNDNO, p.ARROWNO, p.POINT, p.\"CROSS\", p.EMPTYSCORE");
        q.sqlAdd(archerNamesFrom());
        q.sqlAdd("  left join POINTS p on p.ARCHERID = a.ARCHERID");
        q.sqlAdd("order by a.LANENO, a.LANELETTER, a.ARCHERID, p.ROUNDNO, p.ARROWNO");
        q.open();
        std::string lastArcher;
        for (q.first(); !q.eof(); q.next()) {
            const QString arrow = arrowText(q);
            QStringList row;
            for (const char* column : kExportColumns) {
                const std::string name = column;
                if (name == "ARROW")
                    row << arrow;
                else if (name == "ENABLETEAM" || name == "ENABLEFINALS")
                    row << flagText(q, column);
                else
                    row << fromLatin1(q.fieldByName(column).asString());
            }
            csv.addRow(row);
            if (q.fieldByName("ARCHERID").asString() != lastArcher) {
                lastArcher = q.fieldByName("ARCHERID").asString();
                ++summary.archers;
            }
            if (!arrow.isEmpty())
                ++summary.arrows;
        }
        q.close();
        transaction.commit();
    } catch (const db::DbError& e) {
        throw CommandError("cannot read " + login.database + ": " + oneLine(e.what()));
    }
    connection.disconnect();
    const QByteArray& bytes = csv.bytes();
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw CommandError("cannot write " + csvPath.toStdString() + ": " + file.errorString().toStdString());
    return summary;
}
