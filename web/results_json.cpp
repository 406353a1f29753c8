#include "web/results_json.h"

#include "core/latin1.h"

#include <QJsonArray>

QJsonObject archerJson(const ArcherResult& a)
{
    return {{QStringLiteral("place"), a.place},
            {QStringLiteral("name"), fromLatin1(a.name)},
            {QStringLiteral("country"), fromLatin1(a.country)},
            {QStringLiteral("lane"), fromLatin1(a.lane)},
            {QStringLiteral("total"), a.total},
            {QStringLiteral("tens"), a.tens()},
            {QStringLiteral("xs"), a.xs},
            {QStringLiteral("nines"), a.nines()},
            {QStringLiteral("arrows"), a.arrowsEntered},
            {QStringLiteral("arrowsPerCard"), ArrowsPerCard}};
}

QJsonObject listJson(const ResultList& list)
{
    QJsonArray archers;
    for (const ArcherResult& a : list.archers)
        archers.append(archerJson(a));
    QJsonArray faults;
    for (const std::string& fault : list.faults)
        faults.append(QString::fromStdString(fault));
    return {{QStringLiteral("name"), fromLatin1(list.name)},
            {QStringLiteral("archers"), archers},
            {QStringLiteral("faults"), faults}};
}

QJsonObject resultsJson(const CompetitionResults& results, const QDateTime& asOf)
{
    QJsonArray lists;
    for (const ResultList& list : results.lists)
        lists.append(listJson(list));
    const QJsonObject competition{{QStringLiteral("name"), fromLatin1(results.competition.name)},
                                  {QStringLiteral("place"), fromLatin1(results.competition.place)}};
    return {{QStringLiteral("competition"), competition},
            {QStringLiteral("asOf"), asOf.toUTC().toString(Qt::ISODate)},
            {QStringLiteral("lists"), lists}};
}
