#include "db/embedded_engine.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace db {

namespace {

// Bumped whenever what the root holds changes, so an older root is made anew.
constexpr const char* kRootVersion = "1";

const char* const kEngineConf = "# Made by tallyon: the embedded engine shares database files between\n"
                                "# processes through the lock folder beside this file.\n"
                                "ServerMode = Classic\n"
                                "UdfAccess = None\n";

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// The installed engine: the package's root holding the engine plugin.
fs::path packageRoot()
{
    std::error_code ec;
    for (const char* candidate : {
#ifdef TALLYON_FIREBIRD_ROOT
             TALLYON_FIREBIRD_ROOT,
#endif
             "/usr/lib/x86_64-linux-gnu/firebird/3.0", "/usr/lib/firebird/3.0", "/opt/firebird"}) {
        const fs::path root(candidate);
        if (fs::exists(root / "plugins" / "libEngine12.so", ec))
            return root;
    }
    return {};
}

std::string stampText(const fs::path& package)
{
    return std::string("version ") + kRootVersion + "\npackage " + package.string() + "\n";
}

std::string fileText(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeText(const fs::path& file, const std::string& text)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return bool(out);
}

// The stamp is written last: with it in place the root is whole.
bool ready(const fs::path& root, const fs::path& package)
{
    std::error_code ec;
    return fileText(root / "tallyon-engine") == stampText(package) && fs::exists(root / "intl" / "libfbintl.so", ec)
           && fs::is_directory(root / "lock", ec);
}

// Fills a new folder. The character sets are real copies: the engine looks
// for them beside its root and does not follow a link out of it.
bool fill(const fs::path& dir, const fs::path& package)
{
    std::error_code ec;
    fs::create_directories(dir / "intl", ec);
    if (ec)
        return false;
    fs::create_directories(dir / "lock", ec);
    if (ec)
        return false;
    for (const char* file : {"libfbintl.so", "fbintl.conf"}) {
        fs::copy_file(package / "intl" / file, dir / "intl" / file, fs::copy_options::overwrite_existing, ec);
        if (ec)
            return false;
    }
    for (const char* item : {"lib", "plugins", "firebird.msg"}) {
        fs::create_symlink(package / item, dir / item, ec);
        if (ec)
            return false;
    }
    fs::copy_file(package / "plugins.conf", dir / "plugins.conf", fs::copy_options::overwrite_existing, ec);
    if (ec)
        return false;
    return writeText(dir / "firebird.conf", kEngineConf) && writeText(dir / "tallyon-engine", stampText(package));
}

// Makes the root when it is missing or not whole. Processes starting at the
// same moment each fill a folder of their own and move it into place; the
// first move wins and the others drop theirs.
bool makeRoot(const fs::path& root, const fs::path& package)
{
    if (ready(root, package))
        return true;
    std::error_code ec;
    fs::create_directories(root.parent_path(), ec);
    const std::string pid = std::to_string(::getpid());
    const fs::path fresh = root.string() + ".new-" + pid;
    fs::remove_all(fresh, ec);
    if (!fill(fresh, package)) {
        fs::remove_all(fresh, ec);
        return false;
    }
    if (fs::exists(root, ec) && !ready(root, package)) {
        // An older or broken root: moved aside, then removed. Its lock
        // folder belongs to no running process of this version.
        const fs::path old = root.string() + ".old-" + pid;
        fs::rename(root, old, ec);
        fs::remove_all(old, ec);
    }
    fs::rename(fresh, root, ec);
    if (ec)
        fs::remove_all(fresh, ec);
    return ready(root, package);
}

bool setEnvironment(const char* name, const std::string& value)
{
    return ::setenv(name, value.c_str(), 1) == 0;
}

} // namespace

std::string sharedEngineRoot()
{
    fs::path cache = environment("XDG_CACHE_HOME");
    if (cache.empty() || cache.is_relative()) {
        const std::string home = environment("HOME");
        if (home.empty())
            return {};
        cache = fs::path(home) / ".cache";
    }
    return (cache / "tallyon" / "embedded-engine").string();
}

std::string prepareSharedEngine() noexcept
{
    try {
        if (!environment("FIREBIRD").empty())
            return {};
        const fs::path package = packageRoot();
        const std::string root = sharedEngineRoot();
        if (package.empty() || root.empty() || !makeRoot(root, package))
            return {};
        if (!setEnvironment("FIREBIRD", root) || !setEnvironment("FIREBIRD_LOCK", (fs::path(root) / "lock").string()))
            return {};
        return root;
    } catch (...) {
        return {};
    }
}

} // namespace db
