#include "forms/arrow_text.h"

#include "model/uTallyonClasses.h"

QString ArrowText(const TArcheryPoint& arrow)
{
    if (arrow.Cross)
        return QStringLiteral("X");
    if (arrow.EmptyScore)
        return QString();
    if (arrow.Point != 0)
        return QString::number(arrow.Point);
    return QStringLiteral("M");
}
