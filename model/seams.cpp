#include "model/cursor_seam.h"
#include "model/message_seam.h"

#include <cstdio>
#include <utility>

namespace {

MessageHandler& messageHandler()
{
    static MessageHandler handler;
    return handler;
}

CursorHandler& cursorHandler()
{
    static CursorHandler handler;
    return handler;
}

} // namespace

void SetMessageHandler(MessageHandler handler)
{
    messageHandler() = std::move(handler);
}

void ShowMessage(const std::string& text)
{
    if (messageHandler())
        messageHandler()(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

void SetCursorHandler(CursorHandler handler)
{
    cursorHandler() = std::move(handler);
}

void SetScreenCursor(int cursor)
{
    if (cursorHandler())
        cursorHandler()(cursor);
}
