#pragma once
// Waits on the database's event for saved points: the server calls back
// when a transaction that changed POINTS commits (the trigger of
// ensurePointsSavedTrigger posts it). No polling: the wait is queued on the
// attachment and the callback comes from the client library's own thread.

#include <QByteArray>
#include <QObject>

#include <memory>
#include <string>
#include <vector>

namespace db { class Connection; }
namespace Firebird { class IEvents; }

class PointsSavedListener : public QObject {
    Q_OBJECT

public:
    // Queues the wait on the connection, which must stay connected while the
    // listener lives. CommandError when the server refuses it.
    explicit PointsSavedListener(db::Connection& connection, QObject* parent = nullptr);
    // Cancels the wait; a callback that is under way is dropped.
    ~PointsSavedListener() override;

    // How many deliveries told of new saves so far.
    int savesSeen() const { return saves_; }

signals:
    // In the listener's thread, once per delivery that counted new saves.
    void pointsSaved();

private:
    void delivered(const QByteArray& counts);
    void queue();

    struct Shared;
    class Callback;
    db::Connection& connection_;
    std::shared_ptr<Shared> shared_;
    Callback* callback_ = nullptr;
    Firebird::IEvents* events_ = nullptr;
    QByteArray request_;   // the event parameter block with the counts last seen
    int saves_ = 0;
};

// The counts of the named events in an event parameter block, in order.
std::vector<unsigned> eventCounts(const QByteArray& block);
// A block asking for the events with the given names, all counts 0.
QByteArray eventBlock(const std::vector<std::string>& names);
