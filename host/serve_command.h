#pragma once
// The serve command: the live results on the web until Ctrl+C or SIGTERM.

#include "host/commands.h"

int runServeCommand(const Invocation& in);
