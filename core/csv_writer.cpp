#include "core/csv_writer.h"

#include <QRegularExpression>

namespace {

bool isPlainNumber(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+([.,][0-9]+)?$"));
    return number.match(text).hasMatch();
}

bool startsAsFormula(const QString& text)
{
    if (text.isEmpty())
        return false;
    const QChar first = text.front();
    const bool formulaStart =
        first == u'=' || first == u'+' || first == u'-' || first == u'@' || first == u'\t' || first == u'\r';
    return formulaStart && !isPlainNumber(text);
}

} // namespace

CsvWriter::CsvWriter(const CsvWriteOptions& options) : options_(options)
{
    if (options_.byteOrderMark)
        bytes_ = "\xEF\xBB\xBF";
}

void CsvWriter::addRow(const QStringList& cells)
{
    QString line;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i)
            line += options_.separator;
        line += cell(cells[i], options_);
    }
    bytes_ += line.toUtf8() + "\r\n";
}

QString CsvWriter::cell(const QString& text, const CsvWriteOptions& options)
{
    const QString value = options.guardFormulas && startsAsFormula(text) ? u'\'' + text : text;
    const bool quote = value.contains(options.separator) || value.contains(u'"') || value.contains(u'\n')
        || value.contains(u'\r') || value.startsWith(u' ') || value.endsWith(u' ');
    if (!quote)
        return value;
    QString doubled = value;
    doubled.replace(u'"', QStringLiteral("\"\""));
    return u'"' + doubled + u'"';
}

std::optional<QChar> csvSeparatorFromArgument(const QString& text)
{
    if (text == u"tab" || text == u"\\t")
        return QChar(u'\t');
    if (text.size() == 1 && text[0] != u'"' && text[0] != u'\n' && text[0] != u'\r')
        return text[0];
    return std::nullopt;
}
