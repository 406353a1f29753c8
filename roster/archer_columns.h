#pragma once
// The columns of an archer as the import and the roster commands take them,
// and the rule for each column's text.

#include <QString>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// A value that its column does not take; the message names the column and
// says what it wants, without the line or the archer.
class ValueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class ColumnKind {
    Text,         // ISO 8859-1 text up to maxLength characters
    LaneNumber,   // a whole number from 1
    LaneLetters,  // one or two letters A to Z, kept in upper case
    Flag,         // T or F (and their usual spellings); empty is T
    Lookup,       // a name of a lookup table (country, class, bow type)
};

struct ArcherColumn {
    const char* name;
    bool required;        // in an import file's header
    ColumnKind kind;
    int maxLength;        // text and lookup names
};

// Every column, in the order an import file's header names them in the help.
const std::vector<ArcherColumn>& archerColumns();
// The column of that name (any case, spaces around ignored), or nullptr.
const ArcherColumn* findArcherColumn(const QString& name);
// "NAME, LANE, ..." for messages.
std::string archerColumnNames();

// A field's text for a message: without line breaks, and cut to a readable
// length with the whole length given.
std::string shown(const QString& text);

// The column's text without surrounding spaces, as the database stores it
// (ISO 8859-1). ValueError for a letter ISO 8859-1 lacks, a control
// character (ESC, SOH...; line breaks and tabs only in USERDEF1 and
// USERDEF2), or too long a text.
std::string textValue(const ArcherColumn& column, const QString& raw);
std::int32_t laneNumberValue(const ArcherColumn& column, const QString& raw);
std::string laneLettersValue(const ArcherColumn& column, const QString& raw);
bool flagValue(const ArcherColumn& column, const QString& raw);

// "12B" as lane 12, letters "B"; nothing for a label of another form.
std::optional<std::pair<std::int32_t, std::string>> parseLaneLabel(const std::string& label);
// The label of a lane: its number and letters.
std::string laneLabel(std::int32_t laneNo, const std::string& letters);
// The LANE label to store with LANENO and LANELETTER: the lane's own label
// for an empty one or one in lane form ("3b" is stored "3B"), a label of
// another form as it is. ValueError when a label in lane form names
// another lane.
std::string consistentLaneLabel(const std::string& label, std::int32_t laneNo, const std::string& letters);
