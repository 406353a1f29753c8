#pragma once
// Text from the database or a file on its way to a terminal.

#include <QString>

// A control character (U+0000 to U+001F, U+007F to U+009F) that a terminal
// would obey, escape sequences included.
inline bool isControlCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7F && u <= 0x9F);
}

// The text with each control character written as visible text "\xHH"
// (ESC reads "\x1b"), so a name can't move the cursor or recolour the
// terminal. Everything else is left as it is.
QString terminalSafe(const QString& text);
