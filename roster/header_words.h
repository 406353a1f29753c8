#pragma once
// The words of a spreadsheet's header row that name an import column: the
// column names themselves, the usual German, French and English words, and
// the map an organiser gives for the headers of a sheet of their own.

#include <QString>

#include <map>
#include <optional>
#include <string>

// Import fields beyond the columns of ARCHER: the first name, joined to the
// name as "Name, First name", and the club, kept in USERDEF1.
inline constexpr const char* kFirstNameField = "FIRSTNAME";
inline constexpr const char* kClubField = "CLUB";

// A header as the words compare: case folded, without spaces, dots,
// hyphens, underscores or slashes ("Bogen-Art" and "bogenart" are one).
QString headerKey(const QString& header);

// The field a header's word names (an ARCHER column, FIRSTNAME or CLUB),
// or nothing for a word the import does not know.
std::optional<std::string> fieldOfHeader(const QString& header);

// "Scheibe=LANENO,Nation=COUNTRY": the header key to its field. CommandError
// for an entry without "=", or a field the import does not know.
std::map<QString, std::string> parseColumnMap(const QString& spec);

// The usual words of sexes read as M or F ("w", "weiblich", "Damen", "femme"
// → F); any other text as it is, trimmed.
QString normalisedSex(const QString& raw);
