#include "results/results_notes.h"

#include "core/latin1.h"
#include "results/placing.h"

QString markText(const ArcherResult& a)
{
    if (!a.status.empty())
        return QString::fromStdString(a.status);
    return a.shootOff ? QStringLiteral("SO") : QString();
}

QString placeText(const ArcherResult& a)
{
    if (a.place == 0)
        return markText(a);
    const QString mark = markText(a);
    return mark.isEmpty() ? QString::number(a.place) : QString::number(a.place) + u' ' + mark;
}

QString listStateText(const ResultList& list)
{
    if (list.isFinal())
        return QStringLiteral("final");
    return QStringLiteral("provisional: %1 of %2 cards verified").arg(list.cardsVerified).arg(list.cards);
}

QStringList listNotes(const ResultList& list)
{
    QStringList notes;
    for (const OpenTie& tie : list.openTies)
        notes << QString::fromStdString(openTieText(tie));
    notes << listStateText(list);
    return notes;
}

QStringList teamColumnHeadings()
{
    return {QStringLiteral("Place"), QStringLiteral("Team"), QStringLiteral("Members"), QStringLiteral("Total"),
            QStringLiteral("10s"),   QStringLiteral("Xs"),   QStringLiteral("9s")};
}

QString teamMembersText(const TeamResult& team)
{
    QStringList counted;
    for (int i = 0; i < team.counted; ++i) {
        const ArcherResult& m = team.members[std::size_t(i)];
        counted << fromLatin1(m.name) + u' ' + QString::number(m.total)
                       + (m.status.empty() ? QString() : u' ' + QString::fromStdString(m.status));
    }
    return counted.join(QStringLiteral("; "));
}

QStringList teamCells(const TeamResult& team, int teamSize)
{
    // A team short of members has no place: "2 of 3 archers".
    const QString place = team.shortTeam
                              ? QStringLiteral("%1 of %2 archers").arg(team.members.size()).arg(teamSize)
                              : QString::number(team.sum.place);
    return {place,
            fromLatin1(team.sum.name),
            teamMembersText(team),
            QString::number(team.sum.total),
            QString::number(team.sum.tens()),
            QString::number(team.sum.xs),
            QString::number(team.sum.nines())};
}
