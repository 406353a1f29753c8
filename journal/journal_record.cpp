#include "journal/journal_record.h"

#include <QList>

#include <array>

namespace {

constexpr std::array<std::uint32_t, 256> crcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr auto CrcTable = crcTable();
constexpr char Magic[] = "tallyon-journal";
constexpr int FormatVersion = 1;

QByteArray encodedText(const QString& text)
{
    return '=' + text.toUtf8().toPercentEncoding();
}

std::optional<QString> decodedText(const QByteArray& field)
{
    if (!field.startsWith('='))
        return std::nullopt;
    return QString::fromUtf8(QByteArray::fromPercentEncoding(field.mid(1)));
}

std::optional<qint64> number(const QByteArray& field)
{
    bool ok = false;
    const qint64 value = field.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<std::int32_t> smallNumber(const QByteArray& field)
{
    const auto value = number(field);
    if (!value || *value < INT32_MIN || *value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(*value);
}

} // namespace

std::uint32_t Crc32(QByteArrayView data)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char byte : data)
        c = CrcTable[(c ^ static_cast<unsigned char>(byte)) & 0xFFu] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

QByteArray EncodeJournalRecord(const JournalRecord& record)
{
    QByteArray body;
    switch (record.kind) {
    case JournalRecord::Kind::Header:
        body = QByteArray("H ") + Magic + ' ' + QByteArray::number(FormatVersion) + ' ' + encodedText(record.text);
        break;
    case JournalRecord::Kind::Arrow:
        body = "A " + QByteArray::number(record.archer) + ' ' + QByteArray::number(record.round) + ' '
            + QByteArray::number(record.arrow) + ' ' + QByteArray::number(record.msecs) + ' '
            + encodedText(record.asRead) + ' ' + encodedText(record.text);
        break;
    case JournalRecord::Kind::Saved:
        body = "S " + QByteArray::number(record.archer) + ' ' + QByteArray::number(record.msecs);
        break;
    }
    return body + ' ' + QByteArray::number(Crc32(body), 16).rightJustified(8, '0') + '\n';
}

std::optional<JournalRecord> DecodeJournalRecord(QByteArrayView lineView)
{
    QByteArray line = lineView.toByteArray();
    if (line.endsWith('\n'))
        line.chop(1);
    const qsizetype lastSpace = line.lastIndexOf(' ');
    if (lastSpace < 0 || line.size() - lastSpace - 1 != 8)
        return std::nullopt;
    const QByteArray body = line.left(lastSpace);
    bool ok = false;
    const std::uint32_t crc = line.mid(lastSpace + 1).toUInt(&ok, 16);
    if (!ok || crc != Crc32(body))
        return std::nullopt;

    const QList<QByteArray> fields = body.split(' ');
    JournalRecord record;
    if (fields[0] == "H" && fields.size() == 4) {
        const auto text = decodedText(fields[3]);
        if (fields[1] != Magic || fields[2] != QByteArray::number(FormatVersion) || !text)
            return std::nullopt;
        record.kind = JournalRecord::Kind::Header;
        record.text = *text;
        return record;
    }
    if (fields[0] == "A" && fields.size() == 7) {
        const auto archer = smallNumber(fields[1]), round = smallNumber(fields[2]), arrow = smallNumber(fields[3]);
        const auto msecs = number(fields[4]);
        const auto asRead = decodedText(fields[5]), text = decodedText(fields[6]);
        if (!archer || !round || !arrow || !msecs || !asRead || !text)
            return std::nullopt;
        record.kind = JournalRecord::Kind::Arrow;
        record.archer = *archer;
        record.round = *round;
        record.arrow = *arrow;
        record.msecs = *msecs;
        record.asRead = *asRead;
        record.text = *text;
        return record;
    }
    if (fields[0] == "S" && fields.size() == 3) {
        const auto archer = smallNumber(fields[1]);
        const auto msecs = number(fields[2]);
        if (!archer || !msecs)
            return std::nullopt;
        record.kind = JournalRecord::Kind::Saved;
        record.archer = *archer;
        record.msecs = *msecs;
        return record;
    }
    return std::nullopt;
}
