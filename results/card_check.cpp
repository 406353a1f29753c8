#include "results/card_check.h"

#include "core/command_error.h"
#include "core/latin1.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "results/results_schema.h"
#include "results/scorecard.h"

#include <QSysInfo>

namespace {

const char* const kLockTrigger = "TALLYON_CARD_LOCK";
const char* const kLockException = "TALLYON_CARD_LOCKED";

bool exceptionExists(db::Connection& connection)
{
    return rowExists(connection, "select 1 from RDB$EXCEPTIONS where RDB$EXCEPTION_NAME = ?", kLockException);
}

void createOnce(db::Connection& connection, const std::string& sql, bool (*done)(db::Connection&))
{
    if (!done(connection))
        createSchemaObject(connection, {sql}, done);
}

} // namespace

QStringList cardDifferences(const ArcherResult& entered, const SignedCard& signedCard)
{
    QStringList differences;
    const auto differ = [&](const QString& what, int signedValue, int enteredValue) {
        if (signedValue != enteredValue)
            differences << QStringLiteral("%1: signed %2, entered %3").arg(what).arg(signedValue).arg(enteredValue);
    };
    for (int r = 0; r < RoundCount; ++r)
        differ(QStringLiteral("Round %1").arg(r + 1), signedCard.roundTotals[std::size_t(r)],
               entered.roundPoints[std::size_t(r)]);
    differ(QStringLiteral("10s"), signedCard.tens, entered.tens());
    differ(QStringLiteral("Xs"), signedCard.xs, entered.xs);
    if (entered.incomplete() && entered.status != "DNF")
        differences << QStringLiteral("only %1 of %2 arrows are entered").arg(entered.arrowsEntered).arg(ArrowsPerCard);
    return differences;
}

QStringList cardByEnds(const ArcherResult& entered)
{
    QStringList lines;
    for (int r = 0; r < RoundCount; ++r) {
        int running = 0;
        for (int end = 0; end < EndsPerRound; ++end) {
            QStringList values;
            int sum = 0;
            bool any = false;
            for (int i = 0; i < ArrowsPerEnd; ++i) {
                const CardArrow& arrow = entered.arrows[std::size_t(r)][std::size_t(end * ArrowsPerEnd + i)];
                const QString text = cardArrowText(arrow);
                values << (text.isEmpty() ? QStringLiteral("-") : text);
                any = any || arrow.entered;
                sum += arrow.entered ? arrow.point : 0;
            }
            running += sum;
            if (any)
                lines << QStringLiteral("R%1 E%2: %3 = %4 (%5)")
                             .arg(r + 1)
                             .arg(end + 1, 2)
                             .arg(values.join(u' '))
                             .arg(sum, 2)
                             .arg(running, 3);
        }
    }
    return lines;
}

std::optional<std::int32_t> findArcherForCard(db::Connection& connection, const QString& text)
{
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return std::nullopt;
    QString bad;
    const auto latin1 = toLatin1Exact(wanted, &bad);
    if (!latin1)
        return std::nullopt;
    db::Transaction transaction(&connection);
    transaction.params() = {"read_committed", "rec_version", "read"};
    db::Query q(&connection, &transaction);
    bool isNumber = false;
    const int number = wanted.toInt(&isNumber);
    // A number is the archer's own (a scanned card carries it); else a lane label.
    q.sqlAdd("select ARCHERID, 1 as BYID from ARCHER where ARCHERID = ?");
    q.sqlAdd("union all select ARCHERID, 2 as BYID from ARCHER where upper(LANE) = upper(?)");
    q.sqlAdd("order by 2");
    q.setParams({db::Value(isNumber && number > 0 ? number : -1), db::Value(*latin1)});
    q.open();
    std::optional<std::int32_t> id;
    if (!q.isEmpty()) {
        q.first();
        id = q.fieldByName("ARCHERID").asInteger();
    }
    q.close();
    transaction.commit();
    return id;
}

void ensureCardLock(db::Connection& connection)
{
    ensureCardCheckTable(connection);
    createOnce(connection,
               std::string("CREATE EXCEPTION ") + kLockException + " 'The card is verified and locked'",
               exceptionExists);
    if (hasTrigger(connection, kLockTrigger))
        return;
    // Only a change of an arrow is refused: a save that writes the stored
    // values again passes.
    createOnce(connection,
               std::string("CREATE TRIGGER ") + kLockTrigger
                   + " FOR POINTS ACTIVE BEFORE INSERT OR UPDATE OR DELETE POSITION 10 AS\n"
                     "DECLARE VARIABLE ID INTEGER;\n"
                     "DECLARE VARIABLE CHECKER VARCHAR(60) CHARACTER SET ISO8859_1;\n"
                     "DECLARE VARIABLE CHECKED TIMESTAMP;\n"
                     "BEGIN\n"
                     "  IF (DELETING) THEN ID = OLD.ARCHERID; ELSE ID = NEW.ARCHERID;\n"
                     "  IF (UPDATING) THEN BEGIN\n"
                     "    IF (NEW.ARCHERID = OLD.ARCHERID AND NEW.ROUNDNO = OLD.ROUNDNO AND NEW.ARROWNO = OLD.ARROWNO\n"
                     "        AND NEW.POINT IS NOT DISTINCT FROM OLD.POINT AND NEW.\"CROSS\" IS NOT DISTINCT FROM OLD.\"CROSS\"\n"
                     "        AND NEW.EMPTYSCORE IS NOT DISTINCT FROM OLD.EMPTYSCORE) THEN EXIT;\n"
                     "    IF (EXISTS(SELECT 1 FROM CARDCHECKS WHERE ARCHERID = OLD.ARCHERID)) THEN ID = OLD.ARCHERID;\n"
                     "  END\n"
                     "  SELECT CHECKEDBY, CHECKEDAT FROM CARDCHECKS WHERE ARCHERID = :ID INTO :CHECKER, :CHECKED;\n"
                     "  IF (ROW_COUNT > 0) THEN\n"
                     "    EXCEPTION " + kLockException + " 'The card of archer ' || ID || ' was verified by '\n"
                     "      || COALESCE(CHECKER, '?') || ' at ' || SUBSTRING(CAST(CHECKED AS VARCHAR(24)) FROM 1 FOR 16)\n"
                     "      || ' against the signed card and is locked: its arrows were not saved. '\n"
                     "      || 'Unlock it with tallyon verify DB --unlock ' || ID || '.';\n"
                     "END",
               [](db::Connection& c) { return hasTrigger(c, kLockTrigger); });
    // A station's login saves arrows but may read nothing else: the
    // trigger reads the checks and raises its exception on its own rights.
    for (const std::string& grant : {std::string("GRANT SELECT ON CARDCHECKS TO TRIGGER ") + kLockTrigger,
                                     std::string("GRANT USAGE ON EXCEPTION ") + kLockException + " TO TRIGGER "
                                         + kLockTrigger}) {
        try {
            db::Transaction transaction(&connection);
            connection.executeImmediate(grant, transaction);
            transaction.commit();
        } catch (const db::DbError&) {
            // Granted already, or a login that may not grant: the owner's next run grants it.
        }
    }
}

void markCardVerified(db::Connection& connection, std::int32_t archerId, const std::string& by)
{
    ensureCardLock(connection);
    db::Transaction transaction(&connection);
    db::Statement remove(&connection, &transaction);
    remove.sqlAdd("delete from CARDCHECKS where ARCHERID = ?");
    remove.execute({db::Value(archerId)});
    db::Statement insert(&connection, &transaction);
    insert.sqlAdd("insert into CARDCHECKS (ARCHERID, CHECKEDBY, CHECKEDAT) values (?, ?, localtimestamp)");
    insert.execute({db::Value(archerId), db::Value(by.substr(0, 60))});
    transaction.commit();
}

bool unlockCard(db::Connection& connection, std::int32_t archerId)
{
    if (!cardCheckOf(connection, archerId))
        return false;
    db::Transaction transaction(&connection);
    db::Statement remove(&connection, &transaction);
    remove.sqlAdd("delete from CARDCHECKS where ARCHERID = ?");
    remove.execute({db::Value(archerId)});
    transaction.commit();
    return true;
}

std::optional<CardCheck> cardCheckOf(db::Connection& connection, std::int32_t archerId)
{
    db::Transaction transaction(&connection);
    transaction.params() = {"read_committed", "rec_version", "read"};
    const auto checks = readCardChecks(connection, transaction);
    transaction.commit();
    const auto it = checks.find(archerId);
    if (it == checks.end())
        return std::nullopt;
    return it->second;
}

std::string checkerName(const std::string& loginUser)
{
    if (!loginUser.empty() && loginUser != "SYSDBA" && loginUser != "sysdba")
        return loginUser;
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? std::string("this computer") : toLatin1Exact(host).value_or("this computer");
}
