#include "roster/name_table.h"

#include "core/command_error.h"
#include "core/latin1.h"
#include "db/error.h"
#include "db/query.h"
#include "db/statement.h"
#include "db/transaction.h"

std::int32_t nextId(db::Connection& connection, db::Transaction& transaction, const char* generator)
{
    db::Query q(&connection, &transaction);
    q.sqlAdd(std::string("select gen_id(") + generator + ", 1) as ID from RDB$DATABASE");
    q.open();
    const std::int32_t id = q.fieldByName("ID").asInteger();
    q.close();
    return id;
}

std::string lookupKey(const std::string& latin1Name)
{
    return fromLatin1(latin1Name).simplified().toCaseFolded().toStdString();
}

void NameTable::load(db::Connection& connection, db::Transaction& transaction)
{
    db::Query q(&connection, &transaction);
    // In number order: of two spellings stored before, the older one is taken.
    q.sqlAdd(std::string("select ") + key_ + ", " + name_ + " from " + table_ + " order by " + key_);
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        const std::string name = q.fieldByName(name_).asString();
        const std::int32_t number = q.fieldByName(key_).asInteger();
        numbers_.emplace(name, number);
        byKey_.emplace(lookupKey(name), number);
    }
    q.close();
}

std::int32_t NameTable::numberOf(const std::string& name, db::Connection& connection, db::Transaction& transaction)
{
    if (auto it = numbers_.find(name); it != numbers_.end())
        return it->second;
    if (auto it = byKey_.find(lookupKey(name)); it != byKey_.end())
        return it->second;
    const std::int32_t number = nextId(connection, transaction, generator_);
    db::Statement insert(&connection, &transaction);
    insert.sqlAdd(std::string("insert into ") + table_ + " (" + key_ + ", " + name_ + ") values (?, ?)");
    try {
        insert.execute({db::Value(number), db::Value(name)});
    } catch (const db::DuplicateKeyError&) {
        // Another change added the name after this one read the table.
        throw CommandError(std::string("the ") + what_ + " \"" + fromLatin1(name).toStdString()
                           + "\" was just added by another change; run the command again");
    }
    numbers_.emplace(name, number);
    byKey_.emplace(lookupKey(name), number);
    ++created_;
    return number;
}

std::string NameTable::nameOf(std::int32_t number) const
{
    for (const auto& [name, n] : numbers_) {
        if (n == number)
            return name;
    }
    return {};
}
