#pragma once
// Key preview: a window sees every key press in it before the focused
// control does, once per press.

#include <QObject>
#include <QPointer>

#include <functional>

class QKeyEvent;
class QWidget;

class KeyPreview : public QObject {
public:
    // Answers true when it has used the key up: the focused control then
    // never receives it.
    using Handler = std::function<bool(QObject* receiver, const QKeyEvent& key)>;

    // Watches the whole application for key presses in the window.
    KeyPreview(QWidget* window, Handler handler);
    ~KeyPreview() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isFirstDelivery(QObject* receiver, const QEvent* event);

    QWidget* window_;
    Handler handler_;
    // A key event climbing to the parents of its first receiver is the same
    // key press, previewed once.
    const QEvent* lastKeyEvent_ = nullptr;
    QPointer<QObject> lastKeyReceiver_;
};
