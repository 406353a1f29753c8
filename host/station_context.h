#pragma once
// The data context of a scoring station as the host sets it up: its event
// bodies, how long a save waits for another station's lock, and, on a
// server, how long the station waits for an answer before it tells the
// operator instead of freezing.

#include <chrono>
#include <memory>
#include <string>

class StationJournal;
class TdmTallyon;
struct CompetitionLogin;

// A save waits this long for another station's lock, then reports it.
inline constexpr std::chrono::seconds kStationLockTimeout{5};
// A server that does not answer a call (or an attach) within this time is
// taken as gone: the call ends with a lost connection and the next action
// attaches again.
inline constexpr std::chrono::seconds kServerAnswerTimeout{10};

// The station's name in the arrows' history when none is given: the host name.
std::string DefaultStationName();
// A name given for the station: 1 to 40 of letters, digits, space, '.',
// '-' and '_'. CommandError for any other.
std::string CheckedStationName(const std::string& given);

// Prepares dm for login before dm.Connect(login): every attachment of its
// connections, also one made again after a lost one, names the station.
void SetUpStationContext(TdmTallyon& dm, const CompetitionLogin& login,
                         std::chrono::seconds lockTimeout = kStationLockTimeout,
                         const std::string& station = DefaultStationName());

// The station's journal of login's database. Two windows on one computer
// and database (two operators, two screens) cannot share one: unless the
// operator named the station, a window whose journal another holds takes
// the name with "-2" (then "-3"... up to "-9"), and station says the name
// taken. A journal that cannot be used has ok() false.
std::unique_ptr<StationJournal> OpenStationJournal(const CompetitionLogin& login, std::string& station,
                                                   bool stationNamed);
