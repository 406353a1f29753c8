#include "roster/name_table.h"

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
    insert.execute({db::Value(number), db::Value(name)});
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
