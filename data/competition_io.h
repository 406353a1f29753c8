#pragma once
// Opening, checking, creating and removing a competition database.

#include "data/competition_login.h"

#include <string>

namespace db { class Connection; class DbError; }

// "cannot open DB: ..." for a failed attach: for a server that could not be
// reached, which server and what to check, then the engine's text.
std::string cannotOpenText(const CompetitionLogin& login, const db::DbError& error);
// "DB is damaged (what); ... restore it from a backup (engine's text)".
std::string damagedText(const std::string& database, const std::string& what, const db::DbError& error);

// Connects as the login says (dialect 3, ISO 8859-1) and reads every table
// of the competition once, so that a damaged database is refused at once. A
// plain path must name an existing file: nothing is ever created here.
// CommandError on failure.
void openCompetitionDatabase(db::Connection& connection, const CompetitionLogin& login);
// CommandError naming the first table of the competition that the database
// lacks, or every column missing from the tables the points entry writes.
void checkCompetitionSchema(db::Connection& connection, const std::string& database);

// A new database with the schema and no rows. CommandError when the file exists.
void initCompetition(const CompetitionLogin& login);

// Removes the database that a failed command created: a local file, or a
// server's database through the server. Never throws.
void removeCreated(const CompetitionLogin& login) noexcept;
