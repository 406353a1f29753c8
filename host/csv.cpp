#include "host/csv.h"

#include <QStringDecoder>

std::vector<CsvRecord> parseCsv(const QString& text)
{
    std::vector<CsvRecord> records;
    CsvRecord record;
    QString field;
    int line = 1;
    int quoteLine = 0;
    bool inQuotes = false;
    bool afterQuote = false;     // a quoted field just closed
    bool fieldStarted = false;   // the record has any content yet

    const auto endField = [&] {
        record.fields.append(field);
        field.clear();
        afterQuote = false;
    };
    const auto endRecord = [&] {
        if (fieldStarted || !record.fields.isEmpty()) {
            endField();
            records.push_back(record);
        }
        record = CsvRecord{};
        field.clear();
        afterQuote = false;
        fieldStarted = false;
    };

    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        const bool lineBreak = c == u'\n' || c == u'\r';
        if (inQuotes) {
            if (c == u'"') {
                if (i + 1 < n && text[i + 1] == u'"') {
                    field.append(u'"');
                    ++i;
                } else {
                    inQuotes = false;
                    afterQuote = true;
                }
            } else {
                if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') {
                    field.append(u'\r');
                    field.append(u'\n');
                    ++i;
                    ++line;
                    continue;
                }
                if (lineBreak)
                    ++line;
                field.append(c);
            }
            continue;
        }
        if (lineBreak) {
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            endRecord();
            ++line;
            continue;
        }
        if (record.fields.isEmpty() && !fieldStarted)
            record.line = line;
        fieldStarted = true;
        if (c == u',') {
            endField();
            continue;
        }
        if (afterQuote)
            throw CsvError(line, QStringLiteral("text after a closing quote"));
        if (c == u'"') {
            if (!field.isEmpty())
                throw CsvError(line, QStringLiteral("a quote inside an unquoted field"));
            // A quote right after a comma or at the start opens a quoted field.
            inQuotes = true;
            quoteLine = line;
            continue;
        }
        field.append(c);
    }
    if (inQuotes)
        throw CsvError(quoteLine, QStringLiteral("a quoted field is never closed"));
    endRecord();
    return records;
}

QString decodeUtf8(const QByteArray& bytes)
{
    QByteArray data = bytes;
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(data);
    if (!decoder.hasError())
        return text;
    const QList<QByteArray> lines = data.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QStringDecoder lineDecoder(QStringDecoder::Utf8);
        [[maybe_unused]] QString ignored = lineDecoder(lines[i]);
        if (lineDecoder.hasError())
            throw CsvError(int(i) + 1, QStringLiteral("the text is not UTF-8"));
    }
    throw CsvError(int(lines.size()), QStringLiteral("the text is not UTF-8"));
}
