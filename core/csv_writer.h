#pragma once
// CSV as spreadsheets read it: the one writer behind every CSV file the
// program writes.

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>

#include <optional>

struct CsvWriteOptions {
    QChar separator = u',';
    bool byteOrderMark = true;   // UTF-8 mark first: spreadsheets then read the text as UTF-8
    bool guardFormulas = true;   // a cell a spreadsheet would run as a formula is written as text
};

// Rows of cells as UTF-8 text, each row ended by CR LF. A cell is quoted
// when it holds the separator, a quote, a line break, or spaces at either
// end; quotes inside are doubled. With guardFormulas, a cell that starts
// with =, +, -, @, a tab or a CR and is no plain number ("-3", "+1.5")
// gets a leading apostrophe, which spreadsheets show as text.
class CsvWriter {
public:
    explicit CsvWriter(const CsvWriteOptions& options = {});

    void addRow(const QStringList& cells);
    // The whole text so far, with the byte order mark when asked for.
    const QByteArray& bytes() const { return bytes_; }

    // One cell as it is written, without the separator.
    static QString cell(const QString& text, const CsvWriteOptions& options);

private:
    CsvWriteOptions options_;
    QByteArray bytes_;
};

// A separator as a command line gives it: one character, or "tab" (also
// "\t") for a tab; nothing for anything else, a quote or a line break.
std::optional<QChar> csvSeparatorFromArgument(const QString& text);
