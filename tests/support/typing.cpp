#include "tests/support/typing.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

void typeInto(QLineEdit* box, const QString& keys)
{
    box->setFocus(Qt::OtherFocusReason);
    for (const QChar c : keys) {
        if (c == QLatin1Char('\b'))
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        else if (c == QLatin1Char('^'))
            box->selectAll();
        else
            QTest::keyClicks(QApplication::focusWidget(), QString(c));
    }
}

void typeKeys(QWidget* target, const QString& keys)
{
    for (const QChar c : keys) {
        if (c == QLatin1Char('\b'))
            QTest::keyClick(target, Qt::Key_Backspace);
        else
            QTest::keyClicks(target, QString(c));
    }
}
