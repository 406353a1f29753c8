#include "db/update_runner.h"

#include "db/error.h"
#include "db/name_match.h"
#include "db/query.h"

namespace db::detail {

UpdateRunner::Prepared& UpdateRunner::resolved(const std::string& text, const Query& q, std::uint64_t fieldsVersion)
{
    auto& slot = cache_[text];
    if (!slot) {
        slot = std::make_unique<Prepared>();
        slot->parsed = parseNamedParams(text);
    }
    Prepared& u = *slot;
    if (u.resolvedFor != fieldsVersion) {
        u.sources.clear();
        for (const std::string& name : u.parsed.names) {
            bool isOld = name.size() > 4 && sameName(std::string_view(name).substr(0, 4), "OLD_");
            int column = q.fieldIndex(isOld ? std::string_view(name).substr(4) : std::string_view(name));
            if (column < 0)
                throw UsageError("Parameter '" + name + "' matches no field of the query");
            u.sources.push_back({column, isOld});
        }
        u.resolvedFor = fieldsVersion;
    }
    return u;
}

UpdateRunner::Bound UpdateRunner::bind(const std::string& text, const Query& q, std::uint64_t fieldsVersion,
                                       const std::vector<Value>& current, const std::vector<Value>& old)
{
    Prepared& u = resolved(text, q, fieldsVersion);
    Bound bound{u.parsed.sql, {}};
    bound.values.reserve(u.sources.size());
    for (const auto& s : u.sources)
        bound.values.push_back((s.old ? old : current)[static_cast<std::size_t>(s.column)]);
    return bound;
}

void UpdateRunner::run(const std::string& text, const Query& q, std::uint64_t fieldsVersion,
                       const std::vector<Value>& current, const std::vector<Value>& old, Connection& c,
                       Firebird::ITransaction* tra)
{
    Prepared& u = resolved(text, q, fieldsVersion);
    if (!u.sql.preparedFor(c, u.parsed.sql)) {
        u.sql.prepare(c, tra, u.parsed.sql);
        ++prepareCount_;
    }
    std::vector<const Value*> params;
    params.reserve(u.sources.size());
    for (const auto& s : u.sources)
        params.push_back(&(s.old ? old : current)[static_cast<std::size_t>(s.column)]);
    u.sql.execute(tra, params.data(), params.size());
}

} // namespace db::detail
