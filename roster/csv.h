#pragma once
// Separated text as spreadsheets write it: fields separated by commas,
// semicolons or tabs; fields in double quotes may hold the separator, line
// breaks and doubled quotes.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <stdexcept>
#include <vector>

struct CsvRecord {
    int line = 0;          // the line the record begins on, counted from 1
    QStringList fields;
};

// A malformed text, with the line where the fault begins.
class CsvError : public std::runtime_error {
public:
    CsvError(int line, const QString& message)
        : std::runtime_error(message.toStdString()), line_(line) {}
    int line() const { return line_; }

private:
    int line_;
};

// Splits the text into records. Empty lines are skipped. Line breaks are
// LF, CRLF or CR. CsvError for an unterminated quote, text after a closing
// quote, a quote inside an unquoted field, or a NUL character.
std::vector<CsvRecord> parseCsv(const QString& text, QChar separator = u',');

// The separator of the text's first line: the one of comma, semicolon and
// tab found most often outside quotes there (a comma when none is), or the
// one a spreadsheet's "sep=;" line names. skipFirstLine tells about that line.
QChar detectSeparator(const QString& text, bool* skipFirstLine = nullptr);

// Decodes UTF-8 bytes (a leading byte order mark is dropped). CsvError names
// the first line holding bytes that are no UTF-8.
QString decodeUtf8(const QByteArray& bytes);

enum class CsvEncoding { Utf8, Windows1252 };

struct DecodedText {
    QString text;
    CsvEncoding encoding = CsvEncoding::Utf8;
};

// A file's text: UTF-8 with or without a byte order mark, or Windows-1252
// when the bytes are no UTF-8 and carry no UTF-8 mark. CsvError for a file
// marked as UTF-16 or UTF-32, and for bytes that are no UTF-8 after a UTF-8 mark.
DecodedText decodeCsvText(const QByteArray& bytes);

// Bytes 0x80 to 0x9F as Windows-1252 reads them, the rest as ISO 8859-1.
QString decodeWindows1252(const QByteArray& bytes);
