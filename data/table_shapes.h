#pragma once
// Every table of the competition and the base classes databases as the data
// module declares it: its columns in table order and its key.

#include <string>
#include <vector>

struct TableShape {
    const char* table;
    std::vector<std::string> columns;
    std::vector<std::string> keys;
};

inline const TableShape kArcherShape{
    "ARCHER",
    {"ARCHERID", "COUNTRYNUMBER", "NAME", "LANE", "SEX", "USERDEF1", "USERDEF2", "BOWTYPE", "AGECLASSNO",
     "SHOOTINGCLASS", "ENABLETEAM", "ENABLEFINALS", "LANENO", "LANELETTER"},
    {"ARCHERID"}};
inline const TableShape kPointsShape{
    "POINTS", {"ARCHERID", "ROUNDNO", "ARROWNO", "POINT", "CROSS", "EMPTYSCORE"}, {"ARCHERID", "ARROWNO", "ROUNDNO"}};
inline const TableShape kCountryShape{
    "COUNTRY",
    {"COUNTRYNUMBER", "NAME", "CONTACT", "ADDRESS", "ADDRESS2", "ADDRESS3", "ZIPCODE", "TELEPHONE", "TELEPHONE2",
     "EMAIL", "HOMEPAGE", "OTHER"},
    {"COUNTRYNUMBER"}};
inline const TableShape kAgeClassShape{"AGECLASS", {"AGECLASSNO", "DESCRIPTION"}, {"AGECLASSNO"}};
inline const TableShape kShootingClassesShape{
    "SHOOTINGCLASSES", {"SHOOTINGCLASSNO", "DESCRIPTION"}, {"SHOOTINGCLASSNO"}};
inline const TableShape kBowTypesShape{"BOWTYPES", {"TYPENO", "DESCRIPTION"}, {"TYPENO"}};
inline const TableShape kCompetitionShape{
    "COMPETITION",
    {"NAME", "PLACE", "CONTESTTYPE", "STARTDATE", "FINISHEDDATE", "RANGELASTLETTER", "RANGENUMBERLANES"},
    {"NAME"}};
inline const TableShape kResultListsShape{"RESULTLISTS", {"LISTNAME", "LISTFILTER", "APPLYTO"}, {"LISTNAME"}};
inline const TableShape kBaseAgeClassShape{"BASEAGECLASS", {"AGECLASSNO", "DESCRIPTION"}, {"AGECLASSNO"}};
inline const TableShape kBaseShootingClassesShape{
    "BASESHOOTINGCLASSES", {"SHOOTINGCLASSNO", "DESCRIPTION"}, {"SHOOTINGCLASSNO"}};
inline const TableShape kBaseBowTypesShape{"BASEBOWTYPES", {"TYPENO", "DESCRIPTION"}, {"TYPENO"}};
