#pragma once
// The station journal: each change of an arrow box's text, appended to a
// small file of this station and database before the next key is handled,
// until a committed save of the archer makes it needless. After a crash
// (kill -9, a power cut) the next run finds the arrows typed and not saved.
//
// Durability: each record goes to the operating system with one write() as
// it is made, so a killed process loses nothing written. A background
// thread syncs the file to the disk at the end of each end of three arrows
// and otherwise at most every SyncInterval, so a power cut loses at most
// the keys of the last SyncInterval. Nothing on the typing path waits for
// the disk.
//
// One file per database and station name, in folder() (TALLYON_JOURNAL_DIR
// when set). A file whose first line names another database is moved aside
// (".another-database"), never read as this one's. A record cut short or
// damaged is dropped; the file is cut back to its last whole record. One
// process at a time uses a journal: a second one on the same database and
// station name is refused (ok() false), never mixed into the first's file.
//
// Threads: every member is for the GUI thread; the sync thread touches only
// the file's descriptor and the sync state under its mutex.

#include <QDateTime>
#include <QFile>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

class StationJournal : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds SyncInterval{300};

    // One arrow typed and not saved: its value as read and the last text typed.
    struct TypedArrow {
        std::int32_t round = 0;
        std::int32_t arrow = 0;
        QString asRead;
        QString text;
        QDateTime typedAt;
    };
    struct UnsavedArcher {
        std::int32_t archer = 0;
        std::vector<TypedArrow> arrows;   // round, then arrow order
    };

    // Opens the journal of the database (a file path or host/port:path) and
    // station, creating it and its folder when missing, and reads what an
    // earlier run left. A journal that cannot be opened leaves ok() false.
    StationJournal(const QString& database, const QString& station, const QString& folder = {});
    ~StationJournal() override;
    StationJournal(const StationJournal&) = delete;
    StationJournal& operator=(const StationJournal&) = delete;

    // The folder of the journals: $TALLYON_JOURNAL_DIR, else the user's
    // state folder ($XDG_STATE_HOME/tallyon, ~/.local/state/tallyon).
    static QString defaultFolder();
    // The database as the journal names it: a file by its canonical path.
    static QString databaseKey(const QString& database);

    bool ok() const { return ok_; }
    // Another process holds the journal of this database and station name.
    bool heldByAnotherProgram() const { return heldElsewhere_; }
    // What went wrong last (opening or writing); empty when nothing did.
    QString errorText() const { return error_; }
    QString path() const { return file_.fileName(); }
    // Records found damaged or cut short when the file was opened.
    int droppedRecords() const { return dropped_; }

    // The arrows typed and not saved, archers in the order first typed.
    std::vector<UnsavedArcher> unsaved() const;

    // A box's new text; false when it could not be written (errorText()).
    bool recordArrow(std::int32_t archer, std::int32_t round, std::int32_t arrow, const QString& asRead,
                     const QString& text);
    // The archer's arrows are stored: its records are dropped (the file is
    // cut back to its first line when no archer has any left).
    bool archerSaved(std::int32_t archer);
    // Moves the unsaved records into a file of their own beside the journal,
    // named with the time, and starts empty; the new file's path, or empty
    // when there was nothing to keep or the move failed (errorText()).
    QString keepAside();

private:
    void open();
    void readExisting();
    bool startEmpty();
    bool append(const QByteArray& line);
    void requestSync(bool now);
    void syncLoop();
    void stopSyncThread();
    void fail(const QString& what);

    QString database_;
    std::unique_ptr<QLockFile> lock_;
    QFile file_;
    bool ok_ = false;
    bool heldElsewhere_ = false;
    QString error_;
    int dropped_ = 0;
    qint64 headerSize_ = 0;
    // archer → (round, arrow) → typed arrow; order_ holds the archers as first typed.
    std::map<std::int32_t, std::map<std::pair<std::int32_t, std::int32_t>, TypedArrow>> live_;
    std::vector<std::int32_t> order_;

    std::mutex syncMutex_;
    std::condition_variable syncWake_;
    bool syncPending_ = false;
    bool syncNow_ = false;
    bool syncing_ = false;
    bool stopping_ = false;
    int syncFd_ = -1;
    std::thread syncThread_;
};
