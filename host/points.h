#pragma once
// The points command: the application, the data context and the module.

#include "data/uTallyonData.h"

#include <QString>

#include <optional>

// Opens the points window of the module beside the program on the database
// and runs until the operator closes it. With a screenshot path, writes the
// shown window as PNG and returns. Returns the exit code; CommandError on failure.
int runPoints(int& argc, char** argv, const CompetitionLogin& login, const std::optional<QString>& screenshot);
