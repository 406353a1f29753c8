#pragma once
// Comma-separated text as spreadsheets write it: fields in double quotes may
// hold commas, line breaks and doubled quotes.

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
// quote, or a quote inside an unquoted field.
std::vector<CsvRecord> parseCsv(const QString& text);

// Decodes UTF-8 bytes (a leading byte order mark is dropped). CsvError names
// the first line holding bytes that are no UTF-8.
QString decodeUtf8(const QByteArray& bytes);
