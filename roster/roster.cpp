#include "roster/roster.h"

#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "roster/archer_columns.h"
#include "roster/archer_row.h"
#include "data/archer_names_select.h"
#include "data/archer_status.h"
#include "data/competition_schema.h"
#include "data/competition_io.h"
#include "core/command_error.h"
#include "core/latin1.h"
#include "core/terminal_text.h"
#include "roster/header_words.h"
#include "roster/name_table.h"

#include <algorithm>
#include <map>
#include <ostream>
#include <set>
#include <vector>

namespace {

// Counts the arrows a value was entered for: EMPTYSCORE read by the flag rule.
const char* const kEnteredArrows =
    "(select count(case when upper(substring(p.EMPTYSCORE from 1 for 1)) in ('T', 'Y') then null else 1 end)"
    " from POINTS p where p.ARCHERID = a.ARCHERID)";

// A connection with the competition's schema checked, and one transaction.
struct Session {
    explicit Session(const CompetitionLogin& login)
    {
        openCompetitionDatabase(connection, login);
        checkCompetitionSchema(connection, login.database);
        transaction.setConnection(&connection);
    }
    db::Connection connection;
    db::Transaction transaction;
};

// A column's text as the terminal shows it: control characters escaped.
QString text(db::Query& q, const char* column)
{
    return terminalSafe(fromLatin1(q.fieldByName(column).asString()));
}

// Columns padded to their widest entry, two spaces apart.
void printTable(const std::vector<QStringList>& rows, std::ostream& out)
{
    std::vector<qsizetype> widths;
    for (const QStringList& row : rows) {
        widths.resize(std::max(widths.size(), std::size_t(row.size())), 0);
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[std::size_t(i)] = std::max(widths[std::size_t(i)], row[i].size());
    }
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[std::size_t(i)] + 2) : row[i];
        out << line.trimmed().toStdString() << "\n";
    }
}

// The archer as the change reads and writes it.
struct ArcherState {
    std::map<std::string, db::Value> values;   // column → value
    int enteredArrows = 0;
    int pointRows = 0;
    QString name() const { return terminalSafe(fromLatin1(values.at("NAME").toText())); }
    std::string lane() const { return terminalSafe(fromLatin1(values.at("LANE").toText())).toStdString(); }
};

ArcherState readArcherState(Session& s, std::int32_t id, const std::string& database)
{
    // A query takes no parameters; the number goes into the text.
    db::Query q(&s.connection, &s.transaction);
    q.sqlAdd("select a.*, " + std::string(kEnteredArrows) + " as ENTERED_ARROWS,");
    q.sqlAdd("  (select count(*) from POINTS p where p.ARCHERID = a.ARCHERID) as POINT_ROWS");
    q.sqlAdd("from ARCHER a where a.ARCHERID = " + std::to_string(id));
    q.open();
    if (q.isEmpty())
        throw CommandError(database + " has no archer " + std::to_string(id) + " (tallyon archers DB lists them)");
    ArcherState state;
    for (const std::string& column : q.fieldNames())
        state.values[column] = q.fieldByName(column).value();
    state.enteredArrows = q.fieldByName("ENTERED_ARROWS").asInteger();
    state.pointRows = q.fieldByName("POINT_ROWS").asInteger();
    q.close();
    return state;
}

std::string describe(std::int32_t id, const ArcherState& a)
{
    return "archer " + std::to_string(id) + " (" + a.name().toStdString() + ", lane " + a.lane() + ")";
}

// The lookup table of a lookup column, and the ARCHER column it fills.
struct LookupColumn {
    NameTable table;
    const char* archerColumn;
    const char* what;
};

LookupColumn lookupOf(const std::string& column)
{
    if (column == "COUNTRY")
        return {countryTable(), "COUNTRYNUMBER", "country"};
    if (column == "BOWTYPE")
        return {bowTypeTable(), "BOWTYPE", "bow type"};
    if (column == "AGECLASS")
        return {ageClassTable(), "AGECLASSNO", "age class"};
    return {shootingClassTable(), "SHOOTINGCLASS", "shooting class"};
}

// The assignments by column, each column once.
std::map<const ArcherColumn*, QString> readAssignments(const QStringList& assignments)
{
    std::map<const ArcherColumn*, QString> given;
    for (const QString& a : assignments) {
        const qsizetype eq = a.indexOf(u'=');
        if (eq <= 0)
            throw CommandError("\"" + shown(a) + "\" is no COLUMN=VALUE");
        const ArcherColumn* column = findArcherColumn(a.left(eq));
        if (!column)
            throw CommandError("unknown column \"" + shown(a.left(eq)) + "\"; the columns are " + archerColumnNames());
        if (!given.emplace(column, a.mid(eq + 1)).second)
            throw CommandError("column " + std::string(column->name) + " is given twice");
    }
    if (given.empty())
        throw CommandError("nothing to change: give COLUMN=VALUE");
    return given;
}

// The lane after the change: LANENO, LANELETTER and LANE agree.
void applyLane(const std::map<const ArcherColumn*, QString>& given, const ArcherState& a,
               std::map<std::string, db::Value>& changes)
{
    const auto raw = [&](const char* name) -> const QString* {
        const auto it = given.find(findArcherColumn(QString::fromLatin1(name)));
        return it == given.end() ? nullptr : &it->second;
    };
    const QString* laneNoText = raw("LANENO");
    const QString* letterText = raw("LANELETTER");
    const QString* labelText = raw("LANE");
    if (!laneNoText && !letterText && !labelText)
        return;
    std::int32_t laneNo = a.values.at("LANENO").isNull() ? 0 : std::int32_t(a.values.at("LANENO").toInteger());
    std::string letters = a.values.at("LANELETTER").toText();
    std::string label;
    if (laneNoText)
        laneNo = laneNumberValue(*findArcherColumn(QStringLiteral("LANENO")), *laneNoText);
    if (letterText)
        letters = laneLettersValue(*findArcherColumn(QStringLiteral("LANELETTER")), *letterText);
    if (labelText) {
        label = textValue(*findArcherColumn(QStringLiteral("LANE")), *labelText);
        const auto lane = parseLaneLabel(label);
        if (!laneNoText && !letterText) {
            if (!lane)
                throw ValueError("LANE \"" + shown(*labelText) + "\" is not a lane such as 12B; a label of its own"
                                 " needs LANENO and LANELETTER with it");
            laneNo = lane->first;
            letters = lane->second;
        }
        label = consistentLaneLabel(label, laneNo, letters);
    } else {
        label = laneLabel(laneNo, letters);
    }
    changes["LANENO"] = db::Value(laneNo);
    changes["LANELETTER"] = db::Value(letters);
    changes["LANE"] = db::Value(label);
}

void refuseTakenLane(Session& s, std::int32_t id, const std::map<std::string, db::Value>& changes)
{
    if (!changes.count("LANENO"))
        return;
    const std::int32_t laneNo = std::int32_t(changes.at("LANENO").toInteger());
    const std::string letters = changes.at("LANELETTER").toText();
    std::string literal;
    for (const char c : letters)
        literal += c == '\'' ? std::string("''") : std::string(1, c);
    db::Query q(&s.connection, &s.transaction);
    q.sqlAdd("select ARCHERID, NAME from ARCHER where LANENO = " + std::to_string(laneNo) + " and LANELETTER = '"
             + literal + "' and ARCHERID <> " + std::to_string(id));
    q.open();
    if (!q.isEmpty())
        throw ValueError("lane " + laneLabel(laneNo, letters) + " is taken by archer "
                         + q.fieldByName("ARCHERID").asString() + " (" + text(q, "NAME").toStdString() + ")");
    q.close();
}

} // namespace

std::int32_t archerIdArgument(const QString& text)
{
    bool ok = false;
    const int id = text.toInt(&ok);
    if (!ok || id < 1)
        throw CommandError("\"" + shown(text) + "\" is not an archer's number (tallyon archers DB lists them)");
    return id;
}

void listArchers(const CompetitionLogin& login, std::ostream& out)
{
    Session s(login);
    db::Query q(&s.connection, &s.transaction);
    q.sqlAdd("select " + archerNamesColumns() + ", a.USERDEF1 as CLUB, " + kEnteredArrows + " as ARROWS");
    q.sqlAdd(archerNamesFrom());
    q.sqlAdd("order by a.LANENO, a.LANELETTER, a.ARCHERID");
    q.open();
    if (q.isEmpty()) {
        out << login.database << " has no archers yet; add them with tallyon import DB FILE.csv\n";
        return;
    }
    const std::map<std::int32_t, std::string> statuses = readArcherStatuses(s.connection, s.transaction);
    std::vector<QStringList> rows = {{QStringLiteral("ID"), QStringLiteral("LANE"), QStringLiteral("NAME"),
                                      QStringLiteral("COUNTRY"), QStringLiteral("BOW TYPE"), QStringLiteral("AGE CLASS"),
                                      QStringLiteral("SHOOTING CLASS"), QStringLiteral("ARROWS"),
                                      QStringLiteral("STATUS")}};
    bool anyClub = false;
    for (q.first(); !q.eof(); q.next()) {
        const auto status = statuses.find(q.fieldByName("ARCHERID").asInteger());
        rows.push_back({text(q, "ARCHERID"), text(q, "LANE"), text(q, "NAME"), text(q, "CLUB"), text(q, "COUNTRY"),
                        text(q, "BOWTYPE"), text(q, "AGECLASS"), text(q, "SHOOTINGCLASS"), text(q, "ARROWS"),
                        status == statuses.end() ? QString() : QString::fromStdString(status->second)});
        anyClub = anyClub || !rows.back()[3].isEmpty();
    }
    q.close();
    s.transaction.commit();
    // The club (USERDEF1) shows when any archer has one.
    rows.front().insert(3, QStringLiteral("CLUB"));
    if (!anyClub) {
        for (QStringList& row : rows)
            row.removeAt(3);
    }
    printTable(rows, out);
}

namespace {

std::string quotedLatin1(const std::string& bytes)
{
    return "\"" + terminalSafe(fromLatin1(bytes)).toStdString() + "\"";
}

// The lane's part of the report: the lane, and the label when it is one of its own.
void reportLane(const ArcherState& a, const std::map<std::string, db::Value>& changes, std::vector<std::string>& report)
{
    if (!changes.count("LANENO"))
        return;
    const std::string before = laneLabel(std::int32_t(a.values.at("LANENO").toInteger()), a.values.at("LANELETTER").toText());
    const std::string after =
        laneLabel(std::int32_t(changes.at("LANENO").toInteger()), changes.at("LANELETTER").toText());
    if (before != after)
        report.push_back("lane " + before + " -> " + after);
    const std::string oldLabel = a.values.at("LANE").toText();
    const std::string newLabel = changes.at("LANE").toText();
    if (oldLabel != newLabel && (oldLabel != before || newLabel != after))
        report.push_back("LANE: " + quotedLatin1(oldLabel) + " -> " + quotedLatin1(newLabel));
}

// The changes of the columns other than the lane, each checked by its column's rule.
void applyColumns(Session& s, const std::map<const ArcherColumn*, QString>& given, const ArcherState& a,
                  std::map<std::string, db::Value>& changes, std::vector<std::string>& report)
{
    for (const ArcherColumn& column : archerColumns()) {
        const auto it = given.find(&column);
        if (it == given.end())
            continue;
        const QString& raw = it->second;
        const std::string name = column.name;
        if (name == "STATUS")
            continue;   // not an ARCHER column: written beside it by the caller
        if (column.kind == ColumnKind::Lookup) {
            LookupColumn lookup = lookupOf(name);
            lookup.table.load(s.connection, s.transaction);
            const db::Value& before = a.values.at(lookup.archerColumn);
            const std::string oldName = before.isNull() ? "" : lookup.table.nameOf(std::int32_t(before.toInteger()));
            const std::string value = textValue(column, raw);
            changes[lookup.archerColumn] =
                value.empty() ? db::Value() : db::Value(lookup.table.numberOf(value, s.connection, s.transaction));
            if (lookup.table.created())
                report.push_back("added the " + std::string(lookup.what) + " " + quotedLatin1(value));
            if (changes[lookup.archerColumn].toText() != before.toText())
                report.push_back(name + ": " + quotedLatin1(oldName) + " -> " + quotedLatin1(value));
            continue;
        }
        db::Value value;
        if (column.kind == ColumnKind::Flag) {
            value = db::Value(flagValue(column, raw) ? "T" : "F");
        } else if (column.kind == ColumnKind::Text && name != "LANE") {
            const std::string text = textValue(column, name == "SEX" ? normalisedSex(raw) : raw);
            if (name == "NAME" && text.empty())
                throw ValueError("NAME is empty; every archer needs a name");
            if (!text.empty())
                value = db::Value(text);
        } else {
            continue;   // the lane's columns, with the lane
        }
        const db::Value& before = a.values.at(name);
        if (before.toText() != value.toText())
            report.push_back(name + ": " + quotedLatin1(before.toText()) + " -> " + quotedLatin1(value.toText()));
        changes[name] = value;
    }
}

} // namespace

void changeArcher(const CompetitionLogin& login, std::int32_t id, const QStringList& assignments, std::ostream& out)
{
    const auto given = readAssignments(assignments);
    Session s(login);
    for (const std::string& note : EnsureRosterKeys(s.connection, login.database))
        out << note << "\n";
    const std::string at = "archer " + std::to_string(id) + ": ";
    std::vector<std::string> report;
    std::string laneAfter;
    try {
        const ArcherState a = readArcherState(s, id, login.database);
        std::map<std::string, db::Value> changes;
        applyLane(given, a, changes);
        refuseTakenLane(s, id, changes);
        reportLane(a, changes, report);
        if (changes.count("LANENO"))
            laneAfter = laneTakenMeanwhile(std::int32_t(changes.at("LANENO").toInteger()), changes.at("LANELETTER").toText());
        applyColumns(s, given, a, changes, report);
        std::string set;
        std::vector<db::Value> params;
        for (const auto& [column, value] : changes) {
            set += (set.empty() ? "" : ", ") + column + " = ?";
            params.push_back(value);
        }
        params.emplace_back(std::int64_t{id});
        db::Statement update(&s.connection, &s.transaction);
        update.sqlAdd("update ARCHER set " + set + " where ARCHERID = ?");
        update.execute(params);
        s.transaction.commit();
    } catch (const ValueError& e) {
        throw CommandError(at + e.what() + "; nothing changed");
    } catch (const db::DuplicateKeyError& e) {
        // The lane is the one key of ARCHER a change can meet.
        throw CommandError(at + (laneAfter.empty() ? oneLine(e.what()) : laneAfter) + "; nothing changed");
    } catch (const db::DbError& e) {
        throw CommandError(at + oneLine(e.what()) + "; nothing changed");
    }
    if (report.empty())
        report.push_back("nothing changed: the archer has these values already");
    for (const std::string& line : report)
        out << at << line << "\n";
}

void removeArcher(const CompetitionLogin& login, std::int32_t id, bool withPoints, std::ostream& out)
{
    Session s(login);
    try {
        const ArcherState a = readArcherState(s, id, login.database);
        if (a.enteredArrows > 0 && !withPoints)
            throw CommandError(describe(id, a) + " has " + std::to_string(a.enteredArrows)
                            + (a.enteredArrows == 1 ? " arrow" : " arrows")
                            + " entered; add --with-points to remove the archer with them");
        db::Statement points(&s.connection, &s.transaction);
        points.sqlAdd("delete from POINTS where ARCHERID = ?");
        points.execute({db::Value(id)});
        db::Statement archer(&s.connection, &s.transaction);
        archer.sqlAdd("delete from ARCHER where ARCHERID = ?");
        archer.execute({db::Value(id)});
        s.transaction.commit();
        out << "removed " << describe(id, a);
        if (a.enteredArrows > 0)
            out << " with its " << a.enteredArrows << (a.enteredArrows == 1 ? " arrow" : " arrows");
        out << "\n";
    } catch (const db::DbError& e) {
        throw CommandError("archer " + std::to_string(id) + ": " + oneLine(e.what()) + "; nothing removed");
    }
}
