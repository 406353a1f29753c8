#pragma once
// The lookup tables (countries, classes, bow types) by name, as the import
// and the roster give them.

#include <cstdint>
#include <map>
#include <string>

namespace db {
class Connection;
class Transaction;
}

// A lookup name as names compare: case folded, spaces around dropped and
// inner runs of spaces as one ("  compound " is "Compound"). UTF-8.
std::string lookupKey(const std::string& latin1Name);

// The next value of a generator.
std::int32_t nextId(db::Connection& connection, db::Transaction& transaction, const char* generator);

// Name to number of one lookup table, creating the rows that are missing.
class NameTable {
public:
    NameTable(const char* table, const char* key, const char* name, const char* generator, const char* what)
        : table_(table), key_(key), name_(name), generator_(generator), what_(what) {}

    // Reads every name the table holds.
    void load(db::Connection& connection, db::Transaction& transaction);
    // The number of name, or of the name stored first that differs from it
    // only in case and spaces; from a new row when the table has neither.
    // CommandError when another change added the name since this one began.
    std::int32_t numberOf(const std::string& name, db::Connection& connection, db::Transaction& transaction);
    // The name of a number the table holds; empty for none.
    std::string nameOf(std::int32_t number) const;
    // How many rows numberOf created.
    int created() const { return created_; }
    const char* table() const { return table_; }

private:
    const char* table_;
    const char* key_;
    const char* name_;
    const char* generator_;
    const char* what_;   // "country", "bow type"... for messages
    std::map<std::string, std::int32_t> numbers_;
    std::map<std::string, std::int32_t> byKey_;   // lookupKey → number
    int created_ = 0;
};

inline NameTable countryTable() { return {"COUNTRY", "COUNTRYNUMBER", "NAME", "GEN_COUNTRY_ID", "country"}; }
inline NameTable ageClassTable() { return {"AGECLASS", "AGECLASSNO", "DESCRIPTION", "GEN_AGECLASS_ID", "age class"}; }
inline NameTable shootingClassTable()
{
    return {"SHOOTINGCLASSES", "SHOOTINGCLASSNO", "DESCRIPTION", "GEN_SHOOTINGCLASSES_ID", "shooting class"};
}
inline NameTable bowTypeTable() { return {"BOWTYPES", "TYPENO", "DESCRIPTION", "GEN_BOWTYPES_ID", "bow type"}; }
