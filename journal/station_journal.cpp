#include "journal/station_journal.h"

#include "journal/journal_record.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

#if defined(_WIN32)
#  include <io.h>
#else
#  include <unistd.h>
#endif

namespace {

void syncToDisk(int fd)
{
#if defined(_WIN32)
    ::_commit(fd);
#elif defined(__APPLE__)
    ::fsync(fd);
#else
    ::fdatasync(fd);
#endif
}

// Letters, digits, '-' and '_' of a name, for a file name.
QString fileNamePart(const QString& text, int most)
{
    QString part;
    for (const QChar c : text) {
        if (part.size() >= most)
            break;
        part += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'-' || c == u'_' ? c : u'_';
    }
    return part.isEmpty() ? QStringLiteral("x") : part;
}

QString stamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

} // namespace

QString StationJournal::defaultFolder()
{
    const QString given = qEnvironmentVariable("TALLYON_JOURNAL_DIR");
    if (!given.isEmpty())
        return given;
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!state.isEmpty() && QDir::isAbsolutePath(state))
        return state + QStringLiteral("/tallyon");
    return QDir::homePath() + QStringLiteral("/.local/state/tallyon");
#else
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/journal");
#endif
}

QString StationJournal::databaseKey(const QString& database)
{
    const QFileInfo file(database);
    return file.exists() ? file.canonicalFilePath() : database;
}

StationJournal::StationJournal(const QString& database, const QString& station, const QString& folder)
    : database_(databaseKey(database))
{
    const QString dir = folder.isEmpty() ? defaultFolder() : folder;
    const QString name = fileNamePart(QFileInfo(database_).completeBaseName(), 40) + u'-'
        + QString::number(Crc32(database_.toUtf8()), 16).rightJustified(8, u'0') + u'-' + fileNamePart(station, 40)
        + QStringLiteral(".journal");
    if (!QDir().mkpath(dir)) {
        fail(QStringLiteral("cannot make the folder %1").arg(QDir::toNativeSeparators(dir)));
        return;
    }
    file_.setFileName(QDir(dir).filePath(name));
    // A lock left by a process that is gone (killed) is taken over.
    lock_ = std::make_unique<QLockFile>(path() + QStringLiteral(".lock"));
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock()) {
        heldElsewhere_ = true;
        fail(QStringLiteral("another program uses %1 (the same database and station); give each window a "
                            "station name of its own")
                 .arg(QDir::toNativeSeparators(path())));
        return;
    }
    open();
}

StationJournal::~StationJournal()
{
    stopSyncThread();
    if (file_.isOpen()) {
        syncToDisk(file_.handle());
        file_.close();
    }
}

void StationJournal::fail(const QString& what)
{
    error_ = what;
}

void StationJournal::open()
{
    if (file_.exists())
        readExisting();
    if (!file_.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
        fail(QStringLiteral("cannot open %1: %2").arg(QDir::toNativeSeparators(path()), file_.errorString()));
        return;
    }
    const QByteArray header = EncodeJournalRecord({JournalRecord::Kind::Header, 0, 0, 0, 0, {}, database_});
    headerSize_ = header.size();
    if (live_.empty() || file_.size() < headerSize_) {
        // Nothing to keep: the file starts again with its first line.
        live_.clear();
        order_.clear();
        if (!file_.resize(0) || file_.write(header) != header.size()) {
            fail(QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(path()), file_.errorString()));
            return;
        }
    }
    ok_ = true;
    syncFd_ = file_.handle();
    syncThread_ = std::thread([this] { syncLoop(); });
}

void StationJournal::readExisting()
{
    QFile in(path());
    if (!in.open(QIODevice::ReadOnly))
        return;
    const QByteArray content = in.readAll();
    in.close();

    qsizetype at = 0;
    qsizetype wholeUpTo = 0;   // the end of the last record read whole
    bool first = true;
    while (at < content.size()) {
        const qsizetype end = content.indexOf('\n', at);
        if (end < 0)
            break;                            // cut short: dropped below
        const auto record = DecodeJournalRecord(QByteArrayView(content).sliced(at, end - at));
        at = end + 1;
        if (first) {
            first = false;
            if (!record || record->kind != JournalRecord::Kind::Header || record->text != database_) {
                // Not this database's journal: kept aside, never read as ours.
                const QString aside = path() + QStringLiteral(".another-database-") + stamp();
                QFile::rename(path(), aside);
                live_.clear();
                order_.clear();
                return;
            }
            wholeUpTo = at;
            continue;
        }
        if (!record) {
            ++dropped_;
            continue;
        }
        wholeUpTo = at;
        if (record->kind == JournalRecord::Kind::Arrow) {
            if (!live_.count(record->archer))
                order_.push_back(record->archer);
            TypedArrow& typed = live_[record->archer][{record->round, record->arrow}];
            if (typed.round == 0) {
                typed.round = record->round;
                typed.arrow = record->arrow;
                typed.asRead = record->asRead;   // the first record knows the value as read
            }
            typed.text = record->text;
            typed.typedAt = QDateTime::fromMSecsSinceEpoch(record->msecs);
        } else if (record->kind == JournalRecord::Kind::Saved) {
            live_.erase(record->archer);
            std::erase(order_, record->archer);
        }
    }
    if (at < content.size())
        ++dropped_;
    if (wholeUpTo < content.size()) {
        // New records follow the last whole one, not the damaged bytes.
        QFile cut(path());
        if (cut.open(QIODevice::ReadWrite)) {
            cut.resize(wholeUpTo);
            cut.close();
        }
    }
}

std::vector<StationJournal::UnsavedArcher> StationJournal::unsaved() const
{
    std::vector<UnsavedArcher> out;
    for (const std::int32_t archer : order_) {
        const auto found = live_.find(archer);
        if (found == live_.end())
            continue;
        UnsavedArcher one{archer, {}};
        for (const auto& [key, typed] : found->second)
            one.arrows.push_back(typed);
        out.push_back(std::move(one));
    }
    return out;
}

bool StationJournal::append(const QByteArray& line)
{
    if (!ok_)
        return false;
    if (file_.write(line) != line.size()) {
        fail(QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(path()), file_.errorString()));
        return false;
    }
    return true;
}

bool StationJournal::recordArrow(std::int32_t archer, std::int32_t round, std::int32_t arrow, const QString& asRead,
                                 const QString& text)
{
    const QDateTime now = QDateTime::currentDateTime();
    if (!append(EncodeJournalRecord(
            {JournalRecord::Kind::Arrow, archer, round, arrow, now.toMSecsSinceEpoch(), asRead, text})))
        return false;
    if (!live_.count(archer))
        order_.push_back(archer);
    TypedArrow& typed = live_[archer][{round, arrow}];
    if (typed.round == 0)
        typed = {round, arrow, asRead, {}, {}};
    typed.text = text;
    typed.typedAt = now;
    // The end of an end of three arrows goes to the disk at once.
    requestSync(arrow % 3 == 0);
    return true;
}

bool StationJournal::archerSaved(std::int32_t archer)
{
    if (!live_.erase(archer))
        return true;
    std::erase(order_, archer);
    if (!ok_)
        return false;
    if (live_.empty()) {
        // Nothing left to keep: back to the first line.
        if (!file_.resize(headerSize_)) {
            fail(QStringLiteral("cannot shorten %1: %2").arg(QDir::toNativeSeparators(path()), file_.errorString()));
            return false;
        }
        requestSync(false);
        return true;
    }
    const bool written = append(EncodeJournalRecord(
        {JournalRecord::Kind::Saved, archer, 0, 0, QDateTime::currentMSecsSinceEpoch(), {}, {}}));
    requestSync(false);
    return written;
}

QString StationJournal::keepAside()
{
    if (!ok_ || live_.empty())
        return {};
    const QFileInfo info(path());
    const QString kept = info.dir().filePath(info.completeBaseName() + QStringLiteral("-unsaved-") + stamp()
                                             + QStringLiteral(".journal"));
    stopSyncThread();
    syncToDisk(file_.handle());
    const QString journalPath = path();
    file_.close();
    const bool moved = QFile::rename(journalPath, kept);
    if (!moved)
        fail(QStringLiteral("cannot rename %1 to %2").arg(QDir::toNativeSeparators(journalPath),
                                                          QDir::toNativeSeparators(kept)));
    live_.clear();
    order_.clear();
    ok_ = false;
    file_.setFileName(journalPath);
    // When the move failed, the records are read again and stay.
    open();
    return moved ? kept : QString();
}

void StationJournal::requestSync(bool now)
{
    {
        std::lock_guard lock(syncMutex_);
        syncPending_ = true;
        syncNow_ = syncNow_ || now;
    }
    syncWake_.notify_one();
}

void StationJournal::syncLoop()
{
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(syncMutex_);
    auto lastSync = Clock::now() - SyncInterval;
    for (;;) {
        syncWake_.wait(lock, [this] { return syncPending_ || stopping_; });
        if (stopping_)
            return;
        // Records that come meanwhile share the sync.
        syncWake_.wait_until(lock, lastSync + SyncInterval, [this] { return syncNow_ || stopping_; });
        if (stopping_)
            return;
        syncPending_ = false;
        syncNow_ = false;
        syncing_ = true;
        const int fd = syncFd_;
        lock.unlock();
        syncToDisk(fd);
        lock.lock();
        syncing_ = false;
        lastSync = Clock::now();
    }
}

void StationJournal::stopSyncThread()
{
    if (!syncThread_.joinable())
        return;
    {
        std::lock_guard lock(syncMutex_);
        stopping_ = true;
    }
    syncWake_.notify_one();
    syncThread_.join();
    std::lock_guard lock(syncMutex_);
    stopping_ = false;
    syncPending_ = false;
    syncNow_ = false;
}
