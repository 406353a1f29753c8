#pragma once
// The points command: the application, the data context and the module.

#include "data/uTallyonData.h"

#include <QString>

#include <optional>
#include <string>

// Opens the points window of the module beside the program on the database
// and runs until the operator closes it, as the station named (in the
// arrows' history and the station journal, which it offers to recover
// from first). With a screenshot path, writes the shown window as PNG and
// returns, without the journal. A station name not given by the operator
// (the host's name) becomes HOST-2, HOST-3... while another window on this
// computer keeps the journal of HOST. Returns the exit code; CommandError on
// failure.
int runPoints(int& argc, char** argv, const CompetitionLogin& login, const std::optional<QString>& screenshot,
              std::string station, bool stationNamed);
