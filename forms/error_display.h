#pragma once
// The standard error display: an error that leaves an event handler is shown
// to the operator and the window stays usable. Qt carries no exception
// through its event loop, so every handler of the points window runs inside
// Guarded.

#include <QString>

#include <exception>
#include <functional>

using ErrorHandler = std::function<void(const QString& message)>;

// Replaces the display (tests record the messages); an empty handler brings
// back the message box. Without a visible window to stand on, the message
// goes to the standard error stream instead of a box nobody may see. Either
// way, input typed before the error came up is dropped first.
void SetErrorHandler(ErrorHandler handler);
void ShowError(const QString& message);

// The message of the exception being handled, as the display shows it.
QString CurrentErrorMessage();

// Runs f; an exception leaving it is shown. False when one did.
template <class F>
bool Guarded(F&& f)
{
    try {
        f();
        return true;
    } catch (...) {
        ShowError(CurrentErrorMessage());
    }
    return false;
}
