#pragma once
// The database holds ISO 8859-1 bytes; the program's own side holds QString.

#include <QString>

#include <optional>
#include <string>

// The bytes of text in ISO 8859-1, or nothing when a character lies beyond
// U+00FF. badChar receives the first such character.
std::optional<std::string> toLatin1Exact(const QString& text, QString* badChar = nullptr);

inline QString fromLatin1(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}
