#include "roster/header_words.h"

#include "core/command_error.h"
#include "roster/archer_columns.h"

#include <QStringList>

#include <array>

namespace {

struct HeaderWord {
    const char* field;
    const char* words;   // separated by "|", compared by headerKey
};

// The column names themselves come first and win over these words: "LANE"
// is the lane's label, never the lane number.
const std::array<HeaderWord, 10> kWords = {{
    {"LANENO", "scheibe|scheibennummer|scheibennr|scheibenr|bahn|target|targetno|laneno|lanenumber|cible|ncible|"
               "n°cible|numérocible|numerocible|numérodecible|numerodecible"},
    {"LANELETTER", "position|pos|buchstabe|scheibenposition|letter|targetletter|lettre|positioncible"},
    {"NAME", "nachname|familienname|name|lastname|surname|familyname|nom|nomdefamille"},
    {kFirstNameField, "vorname|firstname|givenname|prénom|prenom"},
    {kClubField, "verein|club|klub|clubname|vereinsname|compagnie"},
    {"COUNTRY", "nation|land|country|nationalität|nationalitat|pays|nationalité|nationalite|nationality"},
    {"BOWTYPE", "bogenart|bogen|bogenklasse|bogentyp|bowtype|bow|typedarc|typed'arc|arc"},
    {"AGECLASS", "altersklasse|altersgruppe|ageclass|agegroup|catégoried'âge|categoriedage|catégoriedâge|"
                 "classed'âge|classedage|classedâge"},
    {"SHOOTINGCLASS", "klasse|wettkampfklasse|class|shootingclass|classe|catégorie|categorie|division"},
    {"SEX", "geschlecht|sex|gender|sexe|mw|m/w|genre"},
}};

} // namespace

QString headerKey(const QString& header)
{
    QString key;
    for (const QChar c : header.toCaseFolded()) {
        if (!c.isSpace() && c != u'.' && c != u'-' && c != u'_' && c != u'/')
            key += c;
    }
    return key;
}

std::optional<std::string> fieldOfHeader(const QString& header)
{
    if (const ArcherColumn* column = findArcherColumn(header))
        return std::string(column->name);
    const QString key = headerKey(header);
    if (key == headerKey(QLatin1String(kFirstNameField)) || key == headerKey(QLatin1String(kClubField)))
        return key.toUpper().toStdString();
    for (const HeaderWord& w : kWords) {
        for (const QString& word : QString::fromUtf8(w.words).split(u'|')) {
            if (key == headerKey(word))
                return std::string(w.field);
        }
    }
    return std::nullopt;
}

std::map<QString, std::string> parseColumnMap(const QString& spec)
{
    std::map<QString, std::string> map;
    for (const QString& entry : spec.split(u',', Qt::SkipEmptyParts)) {
        const qsizetype eq = entry.indexOf(u'=');
        if (eq <= 0)
            throw CommandError("--map: \"" + shown(entry) + "\" is no HEADER=COLUMN");
        const QString field = entry.mid(eq + 1).trimmed().toUpper();
        const bool known = findArcherColumn(field) || field == QLatin1String(kFirstNameField)
                           || field == QLatin1String(kClubField);
        if (!known)
            throw CommandError("--map: \"" + shown(field) + "\" is no column; the columns are " + archerColumnNames()
                               + ", " + kFirstNameField + ", " + kClubField);
        map[headerKey(entry.left(eq))] = field.toStdString();
    }
    return map;
}

QString normalisedSex(const QString& raw)
{
    const QString key = headerKey(raw);
    static const QStringList male = {QStringLiteral("m"), QStringLiteral("männlich"), QStringLiteral("maennlich"),
                                     QStringLiteral("mann"), QStringLiteral("herren"), QStringLiteral("herr"),
                                     QStringLiteral("male"), QStringLiteral("man"), QStringLiteral("men"),
                                     QStringLiteral("h"), QStringLiteral("homme"), QStringLiteral("hommes"),
                                     QStringLiteral("masculin")};
    static const QStringList female = {QStringLiteral("f"), QStringLiteral("w"), QStringLiteral("weiblich"),
                                       QStringLiteral("frau"), QStringLiteral("frauen"), QStringLiteral("damen"),
                                       QStringLiteral("dame"), QStringLiteral("female"), QStringLiteral("woman"),
                                       QStringLiteral("women"), QStringLiteral("femme"), QStringLiteral("femmes"),
                                       QStringLiteral("féminin"), QStringLiteral("feminin")};
    if (male.contains(key))
        return QStringLiteral("M");
    if (female.contains(key))
        return QStringLiteral("F");
    return raw.trimmed();
}
