#include "forms/error_display.h"

#include "db/error.h"
#include "forms/typed_ahead.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include <cstdio>
#include <exception>
#include <optional>

namespace {

ErrorHandler& handler()
{
    static ErrorHandler h;
    return h;
}

// The server's words alone ("Error reading data from the connection.") leave
// the operator guessing what became of the arrows.
QString connectionLostText(const db::ConnectionLostError& e)
{
    return QStringLiteral("The connection to the competition database was lost: %1\n"
                          "The arrows on screen are kept. The next move or close connects again and "
                          "stores them.")
        .arg(QString::fromLatin1(e.what()).trimmed());
}

// The lost connection behind an error that carries its cause, if any.
std::optional<QString> connectionLostBehind(const std::exception& e)
{
    try {
        std::rethrow_if_nested(e);
    } catch (const db::ConnectionLostError& lost) {
        return connectionLostText(lost);
    } catch (const std::exception& cause) {
        return connectionLostBehind(cause);
    } catch (...) {
    }
    return std::nullopt;
}

} // namespace

void SetErrorHandler(ErrorHandler h)
{
    handler() = std::move(h);
}

void ShowError(const QString& message)
{
    // Keys typed before the error came up neither answer it nor go on
    // into the window behind it.
    DropInputTypedAhead();
    if (handler()) {
        handler()(message);
        return;
    }
    QWidget* parent = QApplication::activeWindow();
    if (!parent) {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible() && !window->isMinimized()) {
                parent = window;
                break;
            }
    }
    if (!parent) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return;
    }
    QMessageBox::critical(parent, QApplication::applicationName(), message);
}

QString CurrentErrorMessage()
{
    try {
        throw;
    } catch (const db::ConnectionLostError& e) {
        return connectionLostText(e);
    } catch (const db::RaisedError& e) {
        // A rule of the database refused (a checked card): its own words,
        // without the engine's lines around them.
        return QString::fromLatin1(e.raisedText());
    } catch (const std::exception& e) {
        if (auto lost = connectionLostBehind(e))
            return *lost;
        // The system's texts are ISO 8859-1.
        return QString::fromLatin1(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}
