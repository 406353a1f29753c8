#include "core/latin1.h"

std::optional<std::string> toLatin1Exact(const QString& text, QString* badChar)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() > 0xFF) {
            if (badChar) {
                // Keep a surrogate pair together so the message shows the character.
                const bool pair = text[i].isHighSurrogate() && i + 1 < text.size();
                *badChar = text.mid(i, pair ? 2 : 1);
            }
            return std::nullopt;
        }
    }
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

std::string latin1Refusal(const std::string& what, const QString& badChar)
{
    const char32_t code = badChar.size() == 2 ? QChar::surrogateToUcs4(badChar[0], badChar[1])
                                              : (badChar.isEmpty() ? 0 : badChar[0].unicode());
    return what + " holds \"" + badChar.toStdString() + "\" ("
           + QStringLiteral("U+%1").arg(uint(code), 4, 16, QLatin1Char('0')).toUpper().toStdString()
           + "), which ISO 8859-1 cannot hold";
}
