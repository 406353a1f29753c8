#pragma once
// Where the archer model's message boxes go. Whoever owns the widgets
// installs a handler that shows a message box; without one the text goes to
// the standard error stream.

#include <functional>
#include <string>

using MessageHandler = std::function<void(const std::string& text)>;

// An empty handler restores the standard error stream.
void SetMessageHandler(MessageHandler handler);
void ShowMessage(const std::string& text);
