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

void NameTable::load(db::Connection& connection, db::Transaction& transaction)
{
    db::Query q(&connection, &transaction);
    q.sqlAdd(std::string("select ") + key_ + ", " + name_ + " from " + table_);
    q.open();
    for (q.first(); !q.eof(); q.next())
        numbers_.emplace(q.fieldByName(name_).asString(), q.fieldByName(key_).asInteger());
    q.close();
}

std::int32_t NameTable::numberOf(const std::string& name, db::Connection& connection, db::Transaction& transaction)
{
    if (auto it = numbers_.find(name); it != numbers_.end())
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
