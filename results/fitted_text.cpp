#include "results/fitted_text.h"

#include "core/latin1.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStringList>

#include <algorithm>

namespace {

constexpr qreal kSmallestPt = 6.0;
constexpr qreal kStepPt = 0.5;

} // namespace

QFont printFont(qreal pt, bool bold)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(pt);
    f.setBold(bold);
    return f;
}

void drawFitted(QPainter& painter, const QRectF& rect, const QString& text, QFont font, int align)
{
    const auto widest = [&](const QFont& candidate, bool wordByWord) {
        const QFontMetricsF metrics(candidate, painter.device());
        if (!wordByWord)
            return metrics.horizontalAdvance(text);
        qreal w = 0;
        for (const QString& word : text.split(u' ', Qt::SkipEmptyParts))
            w = std::max(w, metrics.horizontalAdvance(word));
        return w;
    };
    while (font.pointSizeF() > kSmallestPt && widest(font, false) > rect.width())
        font.setPointSizeF(font.pointSizeF() - kStepPt);
    const bool wrap = widest(font, false) > rect.width();
    while (wrap && font.pointSizeF() > 2 * kStepPt && widest(font, true) > rect.width())
        font.setPointSizeF(font.pointSizeF() - kStepPt);
    painter.setFont(font);
    painter.drawText(rect, align | Qt::AlignVCenter | (wrap ? Qt::TextWordWrap : 0), text);
}

QString oneLineText(const std::string& latin1)
{
    QString text = fromLatin1(latin1);
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    }
    return text.simplified();
}
