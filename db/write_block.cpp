#include "db/write_block.h"

#include "db/binding.h"
#include "db/call_scope.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/prepared_sql.h"
#include "db/sql_text.h"
#include "db/statement_cache.h"
#include "db/transaction.h"
#include "core/text_trim.h"

#include <ibase.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

namespace db {

using namespace Firebird;

namespace {

// A character set's name in a declaration, and its longest character in
// bytes; an unknown one is left to the attachment's.
struct CharSet {
    const char* name;
    unsigned bytesPerChar;
};
CharSet charSetOf(unsigned id)
{
    switch (id & 0xFF) {
    case 0: return {"NONE", 1};
    case 1: return {"OCTETS", 1};
    case 2: return {"ASCII", 1};
    case 3: return {"UNICODE_FSS", 3};
    case 4: return {"UTF8", 4};
    case 21: return {"ISO8859_1", 1};
    default: return {nullptr, 1};
    }
}

std::string numeric(const char* plain, int digits, int scale)
{
    if (scale == 0)
        return plain;
    return "NUMERIC(" + std::to_string(digits) + ", " + std::to_string(-scale) + ")";
}

std::string textType(const char* kind, unsigned bytes, unsigned charSetId)
{
    const CharSet cs = charSetOf(charSetId);
    std::string type = std::string(kind) + "(" + std::to_string(std::max(1u, bytes / cs.bytesPerChar)) + ")";
    if (cs.name)
        type += std::string(" CHARACTER SET ") + cs.name;
    return type;
}

// One parameter of a statement as the type of a block's parameter, and the
// bytes it takes in the block's message.
struct Declared {
    std::string type;
    std::size_t messageBytes;
};

std::vector<Declared> declaredParameters(IMessageMetadata* meta)
{
    std::vector<Declared> out;
    if (!meta)
        return out;
    fb::call([&](ThrowStatusWrapper* st) {
        const unsigned count = meta->getCount(st);
        for (unsigned i = 0; i < count; ++i) {
            const unsigned type = meta->getType(st, i) & ~1u;
            const int scale = meta->getScale(st, i);
            const unsigned length = meta->getLength(st, i);
            const unsigned charSet = meta->getCharSet(st, i);
            std::string text;
            std::size_t bytes = 16;   // a number and its null flag, aligned
            switch (type) {
            case SQL_SHORT: text = numeric("SMALLINT", 4, scale); break;
            case SQL_LONG: text = numeric("INTEGER", 9, scale); break;
            case SQL_INT64: text = numeric("BIGINT", 18, scale); break;
            case SQL_FLOAT: text = "FLOAT"; break;
            case SQL_DOUBLE:
            case SQL_D_FLOAT: text = "DOUBLE PRECISION"; break;
            case SQL_TYPE_DATE: text = "DATE"; break;
            case SQL_TYPE_TIME: text = "TIME"; break;
            case SQL_TIMESTAMP: text = "TIMESTAMP"; break;
            case SQL_BOOLEAN: text = "BOOLEAN"; break;
            case SQL_TEXT:
                text = textType("CHAR", length, charSet);
                bytes = length + 8;
                break;
            case SQL_VARYING:
                text = textType("VARCHAR", length, charSet);
                bytes = length + 8;
                break;
            case SQL_BLOB:
                text = "BLOB SUB_TYPE " + std::to_string(meta->getSubType(st, i));
                bytes = 80;
                break;
            default:
                throw UsageError("A parameter of type " + std::to_string(type) + " cannot be sent in a block");
            }
            out.push_back({std::move(text), bytes});
        }
    });
    return out;
}

// The statement with its "?" parameters named first, first + 1, ... and
// without a closing semicolon.
std::string withNamedParameters(const std::string& sql, std::size_t first)
{
    std::string out;
    std::size_t next = first;
    for (const SqlPiece& piece : splitSqlText(sql)) {
        if (piece.kind != SqlPieceKind::Code) {
            out += piece.text;
            continue;
        }
        for (char c : piece.text) {
            if (c == '?')
                out += ":P" + std::to_string(next++);
            else
                out += c;
        }
    }
    while (!out.empty() && (out.back() == ';' || out.back() == ' ' || out.back() == '\n' || out.back() == '\r'
                            || out.back() == '\t'))
        out.pop_back();
    return out;
}

// One block under construction. A block with a condition answers in its
// one row whether the condition's select found a row; its writes run only
// then.
struct Block {
    std::string declarations;
    std::string condition;
    std::string body;
    std::vector<const Value*> values;
    std::size_t writes = 0;
    std::size_t messageBytes = 0;

    std::string text() const
    {
        std::string head = "EXECUTE BLOCK";
        if (!declarations.empty())
            head += " (" + declarations + ")";
        if (condition.empty())
            return head + "\nAS\nBEGIN\n" + body + "END";
        return head + " RETURNS (FOUND_ROW SMALLINT)\nAS\nBEGIN\n  FOUND_ROW = 0;\n  IF (EXISTS (" + condition
            + ")) THEN\n  BEGIN\n  FOUND_ROW = 1;\n" + body + "  END\n  SUSPEND;\nEND";
    }
    std::size_t textBytes() const { return declarations.size() + condition.size() + body.size() + 128; }
    bool holdsWork() const { return writes > 0 || !condition.empty(); }
};

} // namespace

WriteBlock::WriteBlock(Connection* connection, Transaction* transaction)
    : connection_(connection), transaction_(transaction)
{
}

void WriteBlock::add(std::string sql, std::vector<Value> params)
{
    if (trimmedView(sql).empty())
        throw UsageError("A write of a block has no text");
    writes_.push_back({std::move(sql), std::move(params)});
}

void WriteBlock::onlyWhenFound(std::string select, std::vector<Value> params)
{
    if (trimmedView(select).empty())
        throw UsageError("The condition of a block has no text");
    condition_ = {std::move(select), std::move(params)};
}

void WriteBlock::dropCondition()
{
    condition_ = Write();
}

bool WriteBlock::execute()
{
    blocksSent_ = 0;
    if (writes_.empty() && !hasCondition())
        return true;
    std::vector<Write> writes = std::move(writes_);
    writes_.clear();
    Write condition = std::move(condition_);
    dropCondition();
    bool found = true;
    Connection& c = detail::connectedOf(connection_);
    Transaction& transaction = detail::transactionOf(transaction_, c);
    detail::onAttachment(c, [&] {
        ITransaction* tra = transaction.ensureStarted();
        // Sends the block; false when its condition found no row.
        const auto send = [&](Block& block) {
            if (!block.holdsWork())
                return true;
            std::shared_ptr<detail::PreparedSql> sql = c.statements().get(c, tra, block.text());
            ++blocksSent_;
            sql->execute(tra, block.values.data(), block.values.size());
            bool held = true;
            if (!block.condition.empty()) {
                std::vector<Value> answer;
                sql->output().read(c.attachment(), tra, answer);
                held = !answer.empty() && answer.front().isInteger() && answer.front().toInteger() != 0;
            }
            block = Block();
            return held;
        };
        // A statement's parameters as declared in a block, each statement
        // prepared alone once per attachment for their types.
        const auto declaredOf = [&](const Write& write, bool select) {
            std::shared_ptr<detail::PreparedSql> single = c.statements().get(c, tra, write.sql);
            if (single->hasOutput() != select)
                throw UsageError(select ? "The condition of a block must be a select: " + write.sql
                                        : "A write of a block must not return rows: " + write.sql);
            std::vector<Declared> declared = declaredParameters(single->params().declared());
            if (declared.size() != write.params.size())
                throw UsageError("The statement takes " + std::to_string(declared.size()) + " parameters, "
                                 + std::to_string(write.params.size()) + " given: " + write.sql);
            return declared;
        };
        // The statement's parameter declarations, its parameters numbered
        // on from those the block holds.
        const auto declarationsOf = [](const std::vector<Declared>& declared, std::size_t first) {
            std::string declarations;
            for (std::size_t i = 0; i < declared.size(); ++i)
                declarations += (first + i == 0 ? "P" : ", P") + std::to_string(first + i) + " " + declared[i].type
                    + " = ?";
            return declarations;
        };
        const auto bytesOf = [](const std::vector<Declared>& declared) {
            std::size_t bytes = 0;
            for (const Declared& d : declared)
                bytes += d.messageBytes;
            return bytes;
        };
        Block block;
        if (!condition.sql.empty()) {
            const std::vector<Declared> declared = declaredOf(condition, true);
            block.declarations = declarationsOf(declared, 0);
            block.condition = withNamedParameters(condition.sql, 0);
            for (const Value& v : condition.params)
                block.values.push_back(&v);
            block.messageBytes = bytesOf(declared);
            if (block.textBytes() > maxBlockBytes || block.messageBytes > maxBlockBytes)
                throw UsageError("The condition is too large for a block: " + condition.sql.substr(0, 80));
        }
        for (const Write& write : writes) {
            const std::vector<Declared> declared = declaredOf(write, false);
            const std::size_t messageBytes = bytesOf(declared);
            const auto pieces = [&](std::size_t first) {
                return std::pair{declarationsOf(declared, first),
                                 "  " + withNamedParameters(write.sql, first) + ";\n"};
            };
            const auto fits = [&](const Block& b, const std::pair<std::string, std::string>& p) {
                return b.writes < maxWritesPerBlock
                    && b.textBytes() + p.first.size() + p.second.size() <= maxBlockBytes
                    && b.messageBytes + messageBytes <= maxBlockBytes;
            };
            if (!fits(block, pieces(block.values.size())) && !send(block)) {
                found = false;
                return;
            }
            auto [declarations, statement] = pieces(block.values.size());
            if (!fits(block, {declarations, statement}))
                throw UsageError("A write is too large for a block: " + write.sql.substr(0, 80));
            block.declarations += declarations;
            block.body += statement;
            for (const Value& v : write.params)
                block.values.push_back(&v);
            block.messageBytes += messageBytes;
            ++block.writes;
        }
        found = send(block);
    });
    if (!found) {
        writes_ = std::move(writes);
        condition_ = std::move(condition);
    }
    return found;
}

} // namespace db
