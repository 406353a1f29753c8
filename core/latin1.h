#pragma once
// The database holds ISO 8859-1 bytes; the program's own side holds QString.
// The one home of the conversion both ways.

#include <QString>

#include <optional>
#include <string>

// The bytes of text in ISO 8859-1, or nothing when a character lies beyond
// U+00FF. badChar receives the first such character.
std::optional<std::string> toLatin1Exact(const QString& text, QString* badChar = nullptr);

// "WHAT holds "Ł" (U+0141), which ISO 8859-1 cannot hold": the refusal of a
// character toLatin1Exact gave back.
std::string latin1Refusal(const std::string& what, const QString& badChar);

inline QString fromLatin1(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}
