#include "results/list_filter.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <optional>

namespace {

enum class ColumnKind { Integer, Text };

struct ColumnInfo {
    const char* name;
    ColumnKind kind;
    // For a reference column: the table, key and name column of its names.
    const char* refTable = nullptr;
    const char* refKey = nullptr;
    const char* refName = nullptr;
    const char* what = nullptr;   // "bow type", for messages
};

const ColumnInfo kColumns[] = {
    {"ARCHERID", ColumnKind::Integer},
    {"COUNTRYNUMBER", ColumnKind::Integer, "COUNTRY", "COUNTRYNUMBER", "NAME", "country"},
    {"NAME", ColumnKind::Text},
    {"LANE", ColumnKind::Text},
    {"SEX", ColumnKind::Text},
    {"USERDEF1", ColumnKind::Text},
    {"USERDEF2", ColumnKind::Text},
    {"BOWTYPE", ColumnKind::Integer, "BOWTYPES", "TYPENO", "DESCRIPTION", "bow type"},
    {"AGECLASSNO", ColumnKind::Integer, "AGECLASS", "AGECLASSNO", "DESCRIPTION", "age class"},
    {"SHOOTINGCLASS", ColumnKind::Integer, "SHOOTINGCLASSES", "SHOOTINGCLASSNO", "DESCRIPTION", "shooting class"},
    {"ENABLETEAM", ColumnKind::Text},
    {"ENABLEFINALS", ColumnKind::Text},
    {"LANENO", ColumnKind::Integer},
    {"LANELETTER", ColumnKind::Text},
};

// The import's names of columns, and the columns they stand for.
const std::pair<const char*, const char*> kAliases[] = {
    {"AGECLASS", "AGECLASSNO"}, {"COUNTRY", "COUNTRYNUMBER"}, {"CLUB", "USERDEF1"}};

std::string knownColumns()
{
    std::string names;
    for (const ColumnInfo& c : kColumns)
        names += (names.empty() ? "" : ", ") + std::string(c.name);
    for (const auto& [alias, column] : kAliases)
        names += std::string(", ") + alias;
    return names;
}

constexpr std::size_t kMaxLength = 1000;   // the width of LISTFILTER
constexpr int kMaxDepth = 20;

enum class Tok { Word, Number, Text, Op, LParen, RParen, Comma, End };

struct Token {
    Tok kind;
    std::string text;     // upper-cased for words; the value for text and numbers
    std::size_t pos;
};

std::string upper(std::string s)
{
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::vector<Token> tokenize(const std::string& in)
{
    std::vector<Token> out;
    std::size_t i = 0;
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const auto isAlpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    while (i < in.size()) {
        const char c = in[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (isAlpha(c)) {
            const std::size_t start = i;
            while (i < in.size() && (isAlpha(in[i]) || isDigit(in[i])))
                ++i;
            out.push_back({Tok::Word, upper(in.substr(start, i - start)), start});
        } else if (isDigit(c) || (c == '-' && i + 1 < in.size() && isDigit(in[i + 1]))) {
            const std::size_t start = i++;
            while (i < in.size() && isDigit(in[i]))
                ++i;
            if (i < in.size() && (isAlpha(in[i]) || in[i] == '.'))
                throw ListFilterError("a number must be a whole number", start);
            out.push_back({Tok::Number, in.substr(start, i - start), start});
        } else if (c == '\'') {
            const std::size_t start = i++;
            std::string value;
            for (;;) {
                if (i >= in.size())
                    throw ListFilterError("the quoted text is not closed", start);
                if (in[i] == '\'') {
                    if (i + 1 < in.size() && in[i + 1] == '\'') {
                        value += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += in[i++];
            }
            out.push_back({Tok::Text, value, start});
        } else if (c == '(') {
            out.push_back({Tok::LParen, "(", i++});
        } else if (c == ')') {
            out.push_back({Tok::RParen, ")", i++});
        } else if (c == ',') {
            out.push_back({Tok::Comma, ",", i++});
        } else if (c == '=' || c == '<' || c == '>' || c == '!') {
            const std::size_t start = i++;
            std::string op(1, c);
            if (i < in.size() && (in[i] == '=' || (c == '<' && in[i] == '>')))
                op += in[i++];
            if (op == "!")
                throw ListFilterError("\"!\" stands only in \"!=\"", start);
            out.push_back({Tok::Op, op == "!=" ? "<>" : op, start});
        } else {
            throw ListFilterError(std::string("the character \"") + c + "\" has no place in a list condition", i);
        }
    }
    out.push_back({Tok::End, "", in.size()});
    return out;
}

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : t_(std::move(tokens)) {}

    CompiledFilter run()
    {
        CompiledFilter f;
        if (peek().kind == Tok::End)
            return f;
        f.sql = condition(0);
        if (peek().kind != Tok::End)
            fail("expected AND, OR or the end of the condition");
        f.params = std::move(params_);
        f.names = std::move(names_);
        return f;
    }

private:
    const Token& peek() const { return t_[i_]; }
    const Token& take() { return t_[i_ < t_.size() - 1 ? i_++ : i_]; }
    bool word(const char* w) const { return peek().kind == Tok::Word && peek().text == w; }
    bool acceptWord(const char* w)
    {
        if (!word(w))
            return false;
        take();
        return true;
    }
    [[noreturn]] void fail(const std::string& message) const { throw ListFilterError(message, peek().pos); }

    std::string condition(int depth)
    {
        if (depth > kMaxDepth)
            fail("the condition nests too deeply");
        std::string sql = term(depth);
        while (acceptWord("OR"))
            sql += " or " + term(depth);
        return sql;
    }

    std::string term(int depth)
    {
        std::string sql = factor(depth);
        while (acceptWord("AND"))
            sql += " and " + factor(depth);
        return sql;
    }

    std::string factor(int depth)
    {
        if (depth > kMaxDepth)
            fail("the condition nests too deeply");
        if (acceptWord("NOT"))
            return "not (" + factor(depth + 1) + ")";
        if (peek().kind == Tok::LParen) {
            take();
            std::string sql = "(" + condition(depth + 1) + ")";
            if (peek().kind != Tok::RParen)
                fail("expected \")\"");
            take();
            return sql;
        }
        if (peek().kind != Tok::Word)
            fail("expected a column of ARCHER");
        const Token& name = take();
        std::string wanted = name.text;
        for (const auto& [alias, column] : kAliases) {
            if (wanted == alias)
                wanted = column;
        }
        const auto column = std::find_if(std::begin(kColumns), std::end(kColumns),
                                         [&](const ColumnInfo& c) { return wanted == c.name; });
        if (column == std::end(kColumns))
            throw ListFilterError("\"" + name.text + "\" is no column of ARCHER a list may test; the columns are "
                                      + knownColumns(),
                                  name.pos);
        return test(*column);
    }

    // One value for the column: its parameter, or nothing when it is a
    // name that a reference column looks up.
    struct Operand {
        db::Value value;
        bool byName = false;
    };

    Operand value(const ColumnInfo& column, bool namesAllowed)
    {
        const Token& v = peek();
        if (column.kind == ColumnKind::Integer && v.kind == Tok::Number) {
            take();
            const long long n = std::stoll(v.text.size() > 12 ? std::string("99999999999") : v.text);
            if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max())
                throw ListFilterError("the number " + v.text + " is out of range", v.pos);
            return {db::Value(int(n)), false};
        }
        if (column.kind == ColumnKind::Text && v.kind == Tok::Text) {
            take();
            return {db::Value(v.text), false};
        }
        if (column.kind == ColumnKind::Integer && v.kind == Tok::Text && column.refTable) {
            if (!namesAllowed)
                fail(std::string(column.name) + " compares with a name only by =, <> or IN");
            take();
            names_.push_back({column.refTable, column.refName, column.what, v.text});
            return {db::Value(v.text), true};
        }
        if (v.kind == Tok::Number || v.kind == Tok::Text)
            fail(std::string(column.name) + (column.kind == ColumnKind::Integer
                                                  ? " takes a number" + std::string(column.refTable ? " or a name in quotes" : "")
                                                  : " takes text in single quotes"));
        fail("expected a value for " + std::string(column.name));
    }

    std::string param(db::Value v)
    {
        params_.push_back(std::move(v));
        return "?";
    }

    // "KEY from TABLE where upper(NAME)" for a reference column's names, which
    // compare in any case (the values go in as upper(?)).
    static std::string byNameSelect(const ColumnInfo& c)
    {
        return std::string("select ") + c.refKey + " from " + c.refTable + " where upper(" + c.refName + ")";
    }

    std::string test(const ColumnInfo& column)
    {
        const std::string col = column.name;
        if (acceptWord("IS")) {
            const bool negated = acceptWord("NOT");
            if (!acceptWord("NULL"))
                fail("expected NULL after IS");
            return col + (negated ? " is not null" : " is null");
        }
        const bool negated = acceptWord("NOT");
        if (acceptWord("IN")) {
            if (peek().kind != Tok::LParen)
                fail("expected \"(\" after IN");
            take();
            std::vector<Operand> values;
            for (;;) {
                values.push_back(value(column, true));
                if (values.size() > 100)
                    fail("an IN list holds at most 100 values");
                if (peek().kind == Tok::Comma) {
                    take();
                    continue;
                }
                if (peek().kind != Tok::RParen)
                    fail("expected \",\" or \")\"");
                take();
                break;
            }
            // Numbers first, then names: the parameters follow the text.
            std::string numbers, names;
            for (bool byName : {false, true}) {
                for (Operand& o : values) {
                    if (o.byName != byName)
                        continue;
                    std::string& list = byName ? names : numbers;
                    const std::string p = param(std::move(o.value));
                    list += (list.empty() ? "" : ", ") + (byName ? "upper(" + p + ")" : p);
                }
            }
            std::string sql;
            if (!numbers.empty())
                sql = col + " in (" + numbers + ")";
            if (!names.empty())
                sql += (sql.empty() ? "" : " or ") + col + " in (" + byNameSelect(column) + " in (" + names + "))";
            return negated ? "not (" + sql + ")" : "(" + sql + ")";
        }
        if (acceptWord("LIKE")) {
            if (column.kind != ColumnKind::Text)
                fail("LIKE compares text columns only");
            if (peek().kind != Tok::Text)
                fail("expected text in single quotes after LIKE");
            const std::string sql = col + (negated ? " not like " : " like ") + param(db::Value(take().text));
            return sql;
        }
        if (negated)
            fail("expected IN or LIKE after NOT");
        if (peek().kind != Tok::Op)
            fail("expected a comparison (=, <>, <, <=, >, >=, IN, LIKE or IS) after " + col);
        const std::string op = take().text;
        const bool equality = op == "=" || op == "<>";
        Operand v = value(column, equality);
        if (v.byName)
            return col + (op == "=" ? " in (" : " not in (") + byNameSelect(column) + " = upper(" + param(std::move(v.value))
                   + "))";
        return col + " " + op + " " + param(std::move(v.value));
    }

    std::vector<Token> t_;
    std::size_t i_ = 0;
    std::vector<db::Value> params_;
    std::vector<FilterName> names_;
};

} // namespace

CompiledFilter compileListFilter(const std::string& filter)
{
    if (filter.size() > kMaxLength)
        throw ListFilterError("a list condition holds at most " + std::to_string(kMaxLength) + " characters",
                              kMaxLength);
    return Parser(tokenize(filter)).run();
}

const std::vector<std::string>& listFilterColumns()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const ColumnInfo& c : kColumns)
            out.push_back(c.name);
        return out;
    }();
    return names;
}
