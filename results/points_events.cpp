#include "results/points_events.h"

#include "core/command_error.h"
#include "db/error.h"
#include "db/event_listener.h"
#include "results/results_schema.h"

#include <QMetaObject>

PointsSavedListener::PointsSavedListener(db::Connection& connection, QObject* parent) : QObject(parent)
{
    // The callback runs on the listener's own thread: it only queues the
    // signal into this object's thread.
    auto told = [this](const std::vector<unsigned>&) {
        QMetaObject::invokeMethod(this, &PointsSavedListener::pointsSaved, Qt::QueuedConnection);
    };
    try {
        events_ = std::make_unique<db::EventListener>(connection, std::vector<std::string>{kPointsSavedEvent}, told);
    } catch (const db::UsageError&) {
        throw CommandError("cannot wait for saved points: the database is not connected");
    } catch (const db::DbError& e) {
        throw CommandError("cannot wait for saved points: " + oneLine(e.what()));
    }
}

PointsSavedListener::~PointsSavedListener()
{
    // Stopped before this object is torn down: no callback is running then.
    events_->stop();
}
