#pragma once
// Waits on the database's event for saved points: the server tells when a
// transaction that changed POINTS commits (the trigger of
// ensurePointsSavedTrigger posts it). No polling.
//
// Thread rules: create, use and destroy the listener on the thread of its
// connection; pointsSaved comes in that thread's event loop.

#include <QObject>

#include <memory>

namespace db {
class Connection;
class EventListener;
}

class PointsSavedListener : public QObject {
    Q_OBJECT

public:
    // Starts waiting on the connection. CommandError when the server
    // refuses the wait.
    explicit PointsSavedListener(db::Connection& connection, QObject* parent = nullptr);
    // Stops waiting; a delivery under way is dropped.
    ~PointsSavedListener() override;

signals:
    // Once per delivery that told of new saves.
    void pointsSaved();

private:
    std::unique_ptr<db::EventListener> events_;
};
