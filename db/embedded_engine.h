#pragma once
// The embedded engine shared between processes. By default the engine in a
// process locks a database file for itself, so a second program (a points
// window, the board, a results command) cannot open the file while the first
// has it open. Before the client library starts, this gives the process an
// engine root of the user's own in which the engine runs in Classic mode:
// every process opens the file and they agree on its pages through one lock
// folder. Nothing outside the user's cache folder is changed.
//
// Thread rules: called once, by db::fb::master(), before the library's
// first call; not meant to be called elsewhere.

#include <string>

namespace db {

// Where the shared engine's root is for this user: $XDG_CACHE_HOME (else
// ~/.cache) /tallyon/embedded-engine. Empty when no home is known.
std::string sharedEngineRoot();

// Sets FIREBIRD and FIREBIRD_LOCK to the shared root, made or repaired as
// needed, unless FIREBIRD is set already (the caller's own engine root is
// kept) or the package's engine or the cache folder cannot be had (the
// engine then runs as the package sets it up). Never throws. Returns the
// root in use, empty when none was set here.
std::string prepareSharedEngine() noexcept;

} // namespace db
