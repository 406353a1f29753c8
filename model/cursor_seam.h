#pragma once
// The screen cursor as the model and the form set it: -11 is the busy
// hourglass, 0 the default. Whoever owns the widgets installs a handler that
// maps the values onto the application's cursor; without one nothing shows.

#include <functional>

inline constexpr int crHourGlass = -11;
inline constexpr int crDefault = 0;

using CursorHandler = std::function<void(int cursor)>;

void SetCursorHandler(CursorHandler handler);
void SetScreenCursor(int cursor);

// Shows the hourglass while it lives and the default cursor on every exit.
class BusyCursor {
public:
    BusyCursor() { SetScreenCursor(crHourGlass); }
    ~BusyCursor() { SetScreenCursor(crDefault); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};
