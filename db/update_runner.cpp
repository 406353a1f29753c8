#include "db/update_runner.h"

#include "db/error.h"
#include "db/name_match.h"
#include "db/query.h"

namespace db::detail {

void UpdateRunner::run(const std::string& text, const Query& q, std::uint64_t fieldsVersion,
                       const std::vector<Value>& current, const std::vector<Value>& old, Connection& c,
                       Firebird::ITransaction* tra)
{
    auto& slot = cache_[text];
    if (!slot) {
        slot = std::make_unique<Prepared>();
        slot->parsed = parseNamedParams(text);
    }
    Prepared& u = *slot;
    if (!u.sql.preparedFor(c, u.parsed.sql)) {
        u.sql.prepare(c, tra, u.parsed.sql);
        ++prepareCount_;
    }
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
    std::vector<const Value*> params;
    params.reserve(u.sources.size());
    for (const auto& s : u.sources)
        params.push_back(&(s.old ? old : current)[static_cast<std::size_t>(s.column)]);
    u.sql.execute(tra, params.data(), params.size());
}

} // namespace db::detail
