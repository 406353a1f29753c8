#include "forms/key_preview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

KeyPreview::KeyPreview(QWidget* window, Handler handler)
    : window_(window)
    , handler_(std::move(handler))
{
    qApp->installEventFilter(this);
}

KeyPreview::~KeyPreview()
{
    qApp->removeEventFilter(this);
}

bool KeyPreview::isFirstDelivery(QObject* receiver, const QEvent* event)
{
    // Qt hands an unused key on to the parent of its receiver, one step at a
    // time, with the same event object. A later key press may well reuse the
    // address of an earlier one, so only the exact next step counts.
    bool climbing = false;
    if (event == lastKeyEvent_ && lastKeyReceiver_ && lastKeyReceiver_->isWidgetType())
        climbing = receiver == static_cast<QWidget*>(lastKeyReceiver_.data())->parentWidget();
    lastKeyEvent_ = event;
    lastKeyReceiver_ = receiver;
    return !climbing;
}

bool KeyPreview::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress && watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == window_
        && isFirstDelivery(watched, event)) {
        if (handler_(watched, *static_cast<QKeyEvent*>(event)))
            return true;
    } else if (type == QEvent::KeyRelease) {
        // The key press before it has reached all its receivers.
        lastKeyEvent_ = nullptr;
        lastKeyReceiver_ = nullptr;
    }
    return QObject::eventFilter(watched, event);
}
