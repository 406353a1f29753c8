#include "roster/archer_columns.h"

#include "core/latin1.h"
#include "core/terminal_text.h"

#include <algorithm>
#include <string_view>

namespace {

// Longer fields are cut in messages.
constexpr qsizetype kShownLength = 40;

std::string quoted(const QString& raw)
{
    return "\"" + shown(raw) + "\"";
}

} // namespace

const std::vector<ArcherColumn>& archerColumns()
{
    static const std::vector<ArcherColumn> columns = {
        {"LANENO", true, ColumnKind::LaneNumber, 0},   {"LANELETTER", false, ColumnKind::LaneLetters, 2},
        {"LANE", false, ColumnKind::Text, 10},         {"NAME", true, ColumnKind::Text, 80},
        {"SEX", true, ColumnKind::Text, 10},           {"COUNTRY", true, ColumnKind::Lookup, 80},
        {"BOWTYPE", true, ColumnKind::Lookup, 60},     {"AGECLASS", true, ColumnKind::Lookup, 60},
        {"SHOOTINGCLASS", true, ColumnKind::Lookup, 60}, {"USERDEF1", false, ColumnKind::Text, 60},
        {"USERDEF2", false, ColumnKind::Text, 60},     {"ENABLETEAM", false, ColumnKind::Flag, 0},
        {"ENABLEFINALS", false, ColumnKind::Flag, 0},
        // DNS, DNF or DSQ; kept beside ARCHER (data/archer_status.h).
        {"STATUS", false, ColumnKind::Text, 3},
    };
    return columns;
}

const ArcherColumn* findArcherColumn(const QString& name)
{
    const QString wanted = name.trimmed().toUpper();
    for (const ArcherColumn& c : archerColumns()) {
        if (wanted == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

std::string archerColumnNames()
{
    std::string names;
    for (const ArcherColumn& c : archerColumns())
        names += (names.empty() ? "" : ", ") + std::string(c.name);
    return names;
}

std::string shown(const QString& text)
{
    QString out = text.size() > kShownLength ? text.left(kShownLength) : text;
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    }
    if (text.size() > kShownLength)
        out += QStringLiteral("... (%1 characters)").arg(text.size());
    return out.toStdString();
}

std::string textValue(const ArcherColumn& column, const QString& raw)
{
    const QString value = raw.trimmed();
    QString bad;
    const auto bytes = toLatin1Exact(value, &bad);
    if (!bytes)
        throw ValueError(latin1Refusal(column.name, bad));
    // A control character would reach every terminal and page the text is
    // shown on. The free texts may keep their lines (a quoted field's line
    // breaks and tabs); every other column holds one line.
    const bool freeText = std::string_view(column.name).starts_with("USERDEF");
    for (qsizetype i = 0; i < value.size(); ++i) {
        const bool layout = value[i] == u'\n' || value[i] == u'\r' || value[i] == u'\t';
        if (isControlCharacter(value[i]) && !(freeText && layout))
            throw ValueError(std::string(column.name) + " holds the control character "
                             + QStringLiteral("U+%1").arg(uint(value[i].unicode()), 4, 16, QLatin1Char('0')).toUpper().toStdString()
                             + " at character " + std::to_string(i + 1) + "; a text takes none");
    }
    if (column.maxLength > 0 && value.size() > column.maxLength)
        throw ValueError(std::string(column.name) + " is longer than " + std::to_string(column.maxLength)
                         + " characters");
    return *bytes;
}

std::int32_t laneNumberValue(const ArcherColumn& column, const QString& raw)
{
    bool ok = false;
    const int n = raw.trimmed().toInt(&ok);
    if (!ok || n < 1)
        throw ValueError(std::string(column.name) + " " + quoted(raw) + " is not a positive whole number");
    return n;
}

std::string laneLettersValue(const ArcherColumn& column, const QString& raw)
{
    const QString value = raw.trimmed().toUpper();
    const bool letters = !value.isEmpty() && value.size() <= column.maxLength
        && std::all_of(value.begin(), value.end(), [](QChar c) { return c >= u'A' && c <= u'Z'; });
    if (!letters)
        throw ValueError(std::string(column.name) + " " + quoted(raw) + " is not a letter A to Z");
    return value.toStdString();
}

bool flagValue(const ArcherColumn& column, const QString& raw)
{
    const QString t = raw.trimmed().toUpper();
    if (t.isEmpty())
        return true;
    if (t == u"T" || t == u"Y" || t == u"J" || t == u"1" || t == u"TRUE" || t == u"YES")
        return true;
    if (t == u"F" || t == u"N" || t == u"0" || t == u"FALSE" || t == u"NO")
        return false;
    throw ValueError(std::string(column.name) + " " + quoted(raw) + " is neither T nor F");
}

std::optional<std::pair<std::int32_t, std::string>> parseLaneLabel(const std::string& label)
{
    std::size_t digits = 0;
    while (digits < label.size() && label[digits] >= '0' && label[digits] <= '9')
        ++digits;
    if (digits == 0 || digits > 9 || digits == label.size() || label.size() - digits > 2)
        return std::nullopt;
    std::string letters;
    for (std::size_t i = digits; i < label.size(); ++i) {
        const char c = label[i];
        if (c >= 'a' && c <= 'z')
            letters += char(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            letters += c;
        else
            return std::nullopt;
    }
    const std::int32_t number = std::stoi(label.substr(0, digits));
    if (number < 1)
        return std::nullopt;
    return std::pair(number, letters);
}

std::string laneLabel(std::int32_t laneNo, const std::string& letters)
{
    return std::to_string(laneNo) + letters;
}

std::string consistentLaneLabel(const std::string& label, std::int32_t laneNo, const std::string& letters)
{
    const auto lane = parseLaneLabel(label);
    if (lane && (lane->first != laneNo || lane->second != letters))
        throw ValueError("LANE \"" + label + "\" names another lane than LANENO " + std::to_string(laneNo)
                         + " and LANELETTER " + letters + " (" + laneLabel(laneNo, letters) + ")");
    return label.empty() || lane ? laneLabel(laneNo, letters) : label;
}
