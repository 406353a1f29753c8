#include "forms/error_display.h"

#include <QApplication>
#include <QMessageBox>

namespace {

ErrorHandler& handler()
{
    static ErrorHandler h;
    return h;
}

} // namespace

void SetErrorHandler(ErrorHandler h)
{
    handler() = std::move(h);
}

void ShowError(const QString& message)
{
    if (handler()) {
        handler()(message);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(), message);
}
