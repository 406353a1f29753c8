#include "forms/typed_ahead.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

// Swallows the operator's input while it lives.
class InputSwallower : public QObject {
public:
    InputSwallower() { QCoreApplication::instance()->installEventFilter(this); }
    ~InputSwallower() override { QCoreApplication::instance()->removeEventFilter(this); }
    InputSwallower(const InputSwallower&) = delete;
    InputSwallower& operator=(const InputSwallower&) = delete;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            return true;
        default:
            return false;
        }
    }
};

} // namespace

void DropInputTypedAhead()
{
    if (!QCoreApplication::instance())
        return;
    // The filter installed last sees every event first, the window's key
    // preview included. The event loop reads the window system's queue; the
    // events posted before are sent explicitly, since a loop nested in the
    // handler of one of them takes no other one on its own.
    const InputSwallower swallow;
    for (int pass = 0; pass < 2; ++pass) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents();
    }
}
