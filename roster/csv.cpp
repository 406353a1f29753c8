#include "roster/csv.h"

#include <array>
#include <utility>

namespace {

bool isUtf8Continuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// The offset of the first byte that does not belong to well-formed UTF-8
// (no overlong forms, no surrogates, nothing beyond U+10FFFF), or -1.
qsizetype firstInvalidUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        int length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;   // the allowed range of the second byte
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            if (b == 0xE0)
                low = 0xA0;
            if (b == 0xED)
                high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            if (b == 0xF0)
                low = 0x90;
            if (b == 0xF4)
                high = 0x8F;
        } else {
            return i;
        }
        if (i + length > n || p[i + 1] < low || p[i + 1] > high)
            return i;
        for (int k = 2; k < length; ++k) {
            if (!isUtf8Continuation(p[i + k]))
                return i;
        }
        i += length;
    }
    return -1;
}

// The line of a byte offset, counting LF, CRLF and lone CR as line breaks.
int lineAt(const QByteArray& bytes, qsizetype offset)
{
    int line = 1;
    for (qsizetype i = 0; i < offset && i < bytes.size(); ++i) {
        if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n')))
            ++line;
    }
    return line;
}

// Windows-1252 at 0x80 to 0x9F; the five bytes it leaves undefined stay
// the control characters of ISO 8859-1.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// One pass over a text: the record and field being read, the line, and
// whether a quoted field is open.
class CsvParser {
public:
    CsvParser(const QString& text, QChar separator) : text_(text), separator_(separator) {}

    std::vector<CsvRecord> records()
    {
        for (i_ = 0; i_ < text_.size(); ++i_) {
            const QChar c = text_[i_];
            if (c.isNull())
                throw CsvError(line_, QStringLiteral("a NUL character, which no text holds"));
            if (inQuotes_)
                readQuoted(c);
            else
                readUnquoted(c);
        }
        if (inQuotes_)
            throw CsvError(quoteLine_, QStringLiteral("a quoted field is never closed"));
        endRecord();
        return std::move(records_);
    }

private:
    bool nextIs(QChar c) const { return i_ + 1 < text_.size() && text_[i_ + 1] == c; }

    // Inside quotes: a doubled quote is one quote, a lone one closes the
    // field, and line breaks belong to the field.
    void readQuoted(QChar c)
    {
        if (c == u'"') {
            if (nextIs(u'"')) {
                field_.append(u'"');
                ++i_;
            } else {
                inQuotes_ = false;
                afterQuote_ = true;
            }
            return;
        }
        if (c == u'\r' && nextIs(u'\n')) {
            field_.append(u'\r');
            field_.append(u'\n');
            ++i_;
            ++line_;
            return;
        }
        if (c == u'\n' || c == u'\r')
            ++line_;
        field_.append(c);
    }

    void readUnquoted(QChar c)
    {
        if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && nextIs(u'\n'))
                ++i_;
            endRecord();
            ++line_;
            return;
        }
        if (record_.fields.isEmpty() && !fieldStarted_)
            record_.line = line_;
        fieldStarted_ = true;
        if (c == separator_) {
            endField();
            return;
        }
        if (afterQuote_)
            throw CsvError(line_, QStringLiteral("text after a closing quote"));
        if (c == u'"') {
            if (!field_.isEmpty())
                throw CsvError(line_, QStringLiteral("a quote inside an unquoted field"));
            // A quote right after a separator or at the start opens a quoted field.
            inQuotes_ = true;
            quoteLine_ = line_;
            return;
        }
        field_.append(c);
    }

    void endField()
    {
        record_.fields.append(field_);
        field_.clear();
        afterQuote_ = false;
    }

    void endRecord()
    {
        if (fieldStarted_ || !record_.fields.isEmpty()) {
            endField();
            records_.push_back(record_);
        }
        record_ = CsvRecord{};
        field_.clear();
        afterQuote_ = false;
        fieldStarted_ = false;
    }

    const QString& text_;
    const QChar separator_;
    qsizetype i_ = 0;
    std::vector<CsvRecord> records_;
    CsvRecord record_;
    QString field_;
    int line_ = 1;
    int quoteLine_ = 0;
    bool inQuotes_ = false;
    bool afterQuote_ = false;     // a quoted field just closed
    bool fieldStarted_ = false;   // the record has any content yet
};

} // namespace

std::vector<CsvRecord> parseCsv(const QString& text, QChar separator)
{
    return CsvParser(text, separator).records();
}

QChar detectSeparator(const QString& text, bool* skipFirstLine)
{
    if (skipFirstLine)
        *skipFirstLine = false;
    // The first line that holds anything.
    qsizetype start = 0;
    while (start < text.size() && (text[start] == u'\n' || text[start] == u'\r'))
        ++start;
    if (text.mid(start, 4).compare(QLatin1String("sep="), Qt::CaseInsensitive) == 0 && start + 4 < text.size()) {
        const QChar named = text[start + 4];
        const bool alone = start + 5 >= text.size() || text[start + 5] == u'\n' || text[start + 5] == u'\r';
        if (alone && (named == u',' || named == u';' || named == u'\t')) {
            if (skipFirstLine)
                *skipFirstLine = true;
            return named;
        }
    }
    const std::array<QChar, 3> candidates = {u',', u';', u'\t'};
    std::array<int, 3> counts = {0, 0, 0};
    bool inQuotes = false;
    for (qsizetype i = start; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'"')
            inQuotes = !inQuotes;
        else if (!inQuotes && (c == u'\n' || c == u'\r'))
            break;
        else if (!inQuotes) {
            for (std::size_t k = 0; k < candidates.size(); ++k)
                counts[k] += c == candidates[k] ? 1 : 0;
        }
    }
    std::size_t best = 0;
    for (std::size_t k = 1; k < candidates.size(); ++k) {
        if (counts[k] > counts[best])
            best = k;
    }
    return candidates[best];
}

QString decodeUtf8(const QByteArray& bytes)
{
    QByteArray data = bytes;
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    const qsizetype bad = firstInvalidUtf8(data);
    if (bad >= 0)
        throw CsvError(lineAt(data, bad), QStringLiteral("the text is not UTF-8"));
    return QString::fromUtf8(data);
}

QString decodeWindows1252(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        text.append(b >= 0x80 && b <= 0x9F ? QChar(kWindows1252High[b - 0x80]) : QChar(b));
    }
    return text;
}

DecodedText decodeCsvText(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")
        || bytes.startsWith(QByteArray("\x00\x00\xFE\xFF", 4)))
        throw CsvError(1, QStringLiteral("the file is UTF-16 or UTF-32; save it as CSV in UTF-8"));
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return {decodeUtf8(bytes), CsvEncoding::Utf8};
    if (firstInvalidUtf8(bytes) < 0)
        return {QString::fromUtf8(bytes), CsvEncoding::Utf8};
    return {decodeWindows1252(bytes), CsvEncoding::Windows1252};
}
