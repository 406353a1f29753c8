#pragma once

#include <string>

// The archer row with the names its numbers stand for, written once for
// every reader. The tables carry fixed aliases: ARCHER a, COUNTRY c,
// BOWTYPES b, AGECLASS g, SHOOTINGCLASSES k (each lookup by left join, so an
// archer without a class is still read). A caller puts its own columns after
// archerNamesColumns(), its own joins after archerNamesFrom(), and its order.

// a.ARCHERID, a.LANENO, a.LANELETTER, a.LANE, a.NAME, a.SEX, and the names
// as COUNTRY, BOWTYPE, AGECLASS and SHOOTINGCLASS (null when unset).
std::string archerNamesColumns();

// "from ARCHER a left join COUNTRY c ... left join SHOOTINGCLASSES k ...".
std::string archerNamesFrom();
