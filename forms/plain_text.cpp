#include "forms/plain_text.h"

#include <QTextDocument>

QString PlainToolTip(const QString& text)
{
    // A tool tip has no text format of its own: Qt guesses, so a text that
    // might be taken for markup goes escaped, with its spaces kept.
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped());
}
