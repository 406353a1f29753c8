#pragma once
// The condition of a result list (RESULTLISTS.LISTFILTER) on the columns of
// ARCHER, checked and turned into a statement with parameters. The text
// never reaches the server: only column names from a fixed list, fixed
// operator words and "?" placeholders do.
//
//   condition := term { OR term }       term := factor { AND factor }
//   factor    := NOT factor | "(" condition ")" | COLUMN test
//   test      := op value | [NOT] IN "(" value {"," value} ")"
//              | [NOT] LIKE 'text' | IS [NOT] NULL
//   op        := = <> != < <= > >=      value := 123 | -7 | 'text' ('' for ')
//
// Integer columns take numbers; text columns take quoted text. The four
// reference columns (BOWTYPE, AGECLASSNO, SHOOTINGCLASS, COUNTRYNUMBER) also
// take the name of the bow type, class or country in quotes with =, <> and
// IN, in any case. The import's names stand for the columns too: AGECLASS
// for AGECLASSNO, COUNTRY for COUNTRYNUMBER, CLUB for USERDEF1.

#include "db/value.h"

#include <stdexcept>
#include <string>
#include <vector>

class ListFilterError : public std::runtime_error {
public:
    ListFilterError(const std::string& message, std::size_t position)
        : std::runtime_error(message + " (at character " + std::to_string(position + 1) + ")"),
          position_(position) {}
    std::size_t position() const { return position_; }

private:
    std::size_t position_;
};

// A name the condition looks up: it must be one its table holds.
struct FilterName {
    std::string table;        // "BOWTYPES"
    std::string nameColumn;   // "DESCRIPTION"
    std::string what;         // "bow type"
    std::string value;        // as written, ISO 8859-1
};

struct CompiledFilter {
    std::string sql;                 // a condition for a WHERE clause on ARCHER; empty: every archer
    std::vector<db::Value> params;   // one per "?" in sql, in order
    std::vector<FilterName> names;   // the names it looks up, to be checked against their tables
};

// ListFilterError naming the first fault: an unknown column, a value of the
// wrong kind, a word or character that has no place in a condition.
// filter holds ISO 8859-1 bytes, as RESULTLISTS stores it.
CompiledFilter compileListFilter(const std::string& filter);

// The ARCHER columns a condition may name.
const std::vector<std::string>& listFilterColumns();
