// The points window under a fast operator: keys typed in the lane tree,
// keys typed ahead of a move the window refuses, and archer texts that look
// like markup. What lands in POINTS is read back through another attachment.

#include "tests/support/competition.h"
#include "tests/support/typing.h"

#include "db/connection.h"
#include "db/transaction.h"
#include "forms/error_display.h"
#include "forms/lane_tree.h"
#include "forms/uVuRudiCompetition.h"
#include "model/message_seam.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTextDocument>
#include <QWindow>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// Archers 1 (1A), 2 (1B, "Maria Moss"), 3 (2A) and 4 (2B).
const std::vector<std::string> FourArchers{
    "insert into COUNTRY (COUNTRYNUMBER, NAME) values (1, 'Norway')",
    "insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, LANENO, LANELETTER) values (1, 1, 'Anna Berg', '1A', 1, 'A')",
    "insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, LANENO, LANELETTER) values (2, 1, 'Maria Moss', '1B', 1, 'B')",
    "insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, LANENO, LANELETTER) values (3, 1, 'Carl Dahl', '2A', 2, 'A')",
    "insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, LANENO, LANELETTER) values (4, 1, 'Dora Eng', '2B', 2, 'B')",
};

// A keyboard typed faster than the window handles its keys: each key waits
// in the event queue and, when its turn comes, goes to the window in front
// then: a modal box while one is up, else the points window.
class QueuedKeyboard : public QObject {
public:
    explicit QueuedKeyboard(QWidget* window) : window_(window) {}
    void type(Qt::Key key, const QString& text = {}) { QCoreApplication::postEvent(this, new Key(key, text)); }
    void type(const QString& keys)
    {
        for (const QChar c : keys)
            type(c == u'\r' ? Qt::Key_Return : Qt::Key(c.toUpper().unicode()), c == u'\r' ? QStringLiteral("\r") : QString(c));
    }

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != Key::Type)
            return QObject::event(event);
        const auto* key = static_cast<const Key*>(event);
        QWidget* front = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : window_;
        if (QWindow* window = front->windowHandle()) {
            QKeyEvent press(QEvent::KeyPress, key->key, Qt::NoModifier, key->text);
            QCoreApplication::sendEvent(window, &press);
            QKeyEvent release(QEvent::KeyRelease, key->key, Qt::NoModifier, key->text);
            QCoreApplication::sendEvent(window, &release);
        }
        return true;
    }

private:
    struct Key : QEvent {
        static constexpr QEvent::Type Type = QEvent::Type(QEvent::User + 7);
        Key(Qt::Key k, const QString& keyText) : QEvent(Type), key(k), text(keyText) {}
        Qt::Key key;
        QString text;
    };
    QWidget* window_;
};

// One message as the operator met it.
struct Shown {
    QString text;
    bool stayedUntilAnswered = false;
};

} // namespace

class TestFormKeys : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void keysInTheLaneTreeNeverReachABox();
    void typedAheadKeysOfARefusedMove_data();
    void typedAheadKeysOfARefusedMove();
    void archerTextsArePlainText();

private:
    void open(const std::vector<std::string>& seed = FourArchers);
    QString shownId() const { return form_->lblIDVal->text(); }
    int storedArrows() const { return competition_->count("select count(*) from POINTS where EMPTYSCORE = 'F'"); }
    QStringList boxTexts() const;

    std::unique_ptr<TestCompetition> competition_;
    std::unique_ptr<TdmTallyon> dm_;
    std::unique_ptr<TfrmVuRudiCompetition> form_;
    QStringList errors_;
    QList<Shown> messages_;
};

void TestFormKeys::init()
{
    errors_.clear();
    messages_.clear();
    SetErrorHandler([this](const QString& message) { errors_ << message; });
    // Each message in a real modal box, as the module shows it: the box is
    // answered once all that waited in the queue when it came up is handled.
    SetMessageHandler([this](const std::string& text) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("tallyon"), QString::fromLatin1(text.c_str()),
                        QMessageBox::Ok, QApplication::activeWindow());
        Shown shown{box.text()};
        QMetaObject::invokeMethod(
            &box,
            [&] {
                shown.stayedUntilAnswered = box.isVisible();
                box.accept();
            },
            Qt::QueuedConnection);
        box.exec();
        messages_ << shown;
    });
    competition_ = std::make_unique<TestCompetition>();
}

void TestFormKeys::cleanup()
{
    if (form_)
        form_->hide();
    form_.reset();
    dm_.reset();
    competition_.reset();
    SetErrorHandler({});
    SetMessageHandler({});
}

void TestFormKeys::open(const std::vector<std::string>& seed)
{
    competition_->seed(seed);
    dm_ = competition_->connectContext();
    form_ = std::make_unique<TfrmVuRudiCompetition>(dm_.get());
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
}

QStringList TestFormKeys::boxTexts() const
{
    QStringList texts;
    for (const TPointEdit* box : form_->PointEdits)
        if (!box->text().isEmpty())
            texts << box->objectName() + u'=' + box->text();
    return texts;
}

void TestFormKeys::keysInTheLaneTreeNeverReachABox()
{
    open();
    QTreeWidget* tree = form_->fctvRange;
    tree->expandAll();

    // A search by name in the tree, every key of it waiting in the queue.
    tree->setFocus(Qt::OtherFocusReason);
    QueuedKeyboard keyboard(form_.get());
    keyboard.type(QStringLiteral("1B - Maria Moss"));
    QCoreApplication::processEvents();
    QCOMPARE(shownId(), QStringLiteral("2"));
    QCOMPARE(QApplication::focusWidget(), tree);
    QCOMPARE(boxTexts(), QStringList());

    // The arrow keys walk the nodes; digits typed in the tree search it.
    QTest::keyClick(tree, Qt::Key_Down); // lane 2
    QCOMPARE(shownId(), QStringLiteral("2"));
    QTest::keyClick(tree, Qt::Key_Down);
    QCOMPARE(shownId(), QStringLiteral("3"));
    QTest::keyClick(tree, Qt::Key_Down);
    QCOMPARE(shownId(), QStringLiteral("4"));
    QTest::keyClick(tree, Qt::Key_Up);
    QCOMPARE(shownId(), QStringLiteral("3"));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("9X"));
    QCOMPARE(QApplication::focusWidget(), tree);
    QCOMPARE(boxTexts(), QStringList());

    // The last Enter of a card goes on to the tree, as Tab does; the next
    // archer's first arrow typed there stays out of the boxes.
    form_->PointEdit58->setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(form_->PointEdit58, QStringLiteral("7\r"));
    QCOMPARE(QApplication::focusWidget(), tree);
    QTest::keyClicks(tree, QStringLiteral("8"));
    QCOMPARE(QApplication::focusWidget(), tree);
    QCOMPARE(boxTexts(), QStringList({QStringLiteral("PointEdit58=7")}));
    QCOMPARE(errors_, QStringList());
    QVERIFY(messages_.isEmpty());
    QCOMPARE(storedArrows(), 0);

    // Page Down still leads to the first empty box of the next archer.
    QTest::keyClick(tree, Qt::Key_PageDown);
    QCOMPARE(shownId(), QStringLiteral("4"));
    QCOMPARE(QApplication::focusWidget(), form_->pe1);
    QCOMPARE(competition_->rows("select ARCHERID, ROUNDNO, ARROWNO, POINT from POINTS where EMPTYSCORE = 'F'"
                                " order by ARCHERID, ROUNDNO, ARROWNO"),
             std::vector<std::string>({"3|2|30|7"}));
    QCOMPARE(errors_, QStringList());
}

void TestFormKeys::typedAheadKeysOfARefusedMove_data()
{
    QTest::addColumn<bool>("conflict");   // else an impossible "15" in round 1 arrow 2
    QTest::newRow("impossible value") << false;
    QTest::newRow("another station saving") << true;
}

void TestFormKeys::typedAheadKeysOfARefusedMove()
{
    QFETCH(bool, conflict);
    std::vector<std::string> seed = FourArchers;
    seed.push_back("insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE)"
                   " values (1, 1, 2, 5, 'F', 'F')");
    open(seed);
    typeInto(form_->pe1, QStringLiteral("9"));
    typeInto(form_->pe2, conflict ? QStringLiteral("^6") : QStringLiteral("^1"));
    if (!conflict) {
        form_->pe2->setCursorPosition(1);
        form_->pe2->insert(QStringLiteral("5")); // "15": what a selection typed over can leave
    }
    // Another station holds round 1 arrow 2 of this archer.
    db::Connection station;
    competition_->attach(station);
    std::optional<db::Transaction> holder;
    if (conflict) {
        holder.emplace(&station);
        station.executeImmediate("update POINTS set POINT = 4 where ARCHERID = 1 and ROUNDNO = 1 and ARROWNO = 2",
                                 *holder);
    }

    // Page Down and the next archer's first arrows, all typed before the
    // window handles the Page Down.
    QueuedKeyboard keyboard(form_.get());
    keyboard.type(Qt::Key_PageDown);
    keyboard.type(QStringLiteral("9\r8\r7"));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();

    QCOMPARE(messages_.size(), 1);
    QVERIFY2(messages_[0].stayedUntilAnswered, qPrintable(messages_[0].text));
    QCOMPARE(errors_, QStringList());
    QCOMPARE(shownId(), QStringLiteral("1"));
    QCOMPARE(form_->pe1->text(), QStringLiteral("9"));
    QCOMPARE(form_->pe2->text(), conflict ? QStringLiteral("6") : QStringLiteral("15"));
    QCOMPARE(boxTexts().size(), 2);

    // The operator answers what was seen (the offscreen platform gives the
    // window back its focus only when asked); the move then stores what the
    // boxes hold, none of the keys typed ahead.
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    if (!conflict)
        QCOMPARE(QApplication::focusWidget(), form_->pe2); // the value to mend
    if (holder)
        holder->rollback();
    else
        typeInto(form_->pe2, QStringLiteral("^8"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
    QCOMPARE(shownId(), QStringLiteral("2"));
    QCOMPARE(messages_.size(), 1);
    QCOMPARE(competition_->rows("select ARCHERID, ROUNDNO, ARROWNO, POINT from POINTS where EMPTYSCORE = 'F'"
                                " order by ARCHERID, ROUNDNO, ARROWNO"),
             std::vector<std::string>({"1|1|1|9", conflict ? "1|1|2|6" : "1|1|2|8"}));
    station.disconnect();
}

void TestFormKeys::archerTextsArePlainText()
{
    const QString longName = QStringLiteral("<h1>BIG</h1> <i>and a name far too long for its place</i>");
    open({
        "insert into COUNTRY (COUNTRYNUMBER, NAME) values (1, '<b>NO</b>')",
        "insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, LANENO, LANELETTER)"
        " values (1, 1, '<h1>BIG</h1>', '<b>1A</b>', 1, 'A')",
        "insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, LANENO, LANELETTER)"
        " values (2, 1, '" + longName.toStdString() + "', '1B', 1, 'B')",
    });
    // Drawn as written: each label as wide as its characters.
    for (QLabel* label : {form_->lblNameVal, form_->lblLaneVal, form_->lblCountryVal})
        QVERIFY2(label->sizeHint().width() >= label->fontMetrics().horizontalAdvance(label->text()),
                 qPrintable(label->objectName() + u' ' + label->text()));
    QCOMPARE(form_->lblNameVal->text(), QStringLiteral("<h1>BIG</h1>"));
    QCOMPARE(form_->lblCountryVal->text(), QStringLiteral("<b>NO</b>"));
    QTreeWidgetItem* node = form_->fctvRange->topLevelItem(0)->child(0);
    QCOMPARE(node->text(0), QStringLiteral("<b>1A</b> - <h1>BIG</h1> - <b>NO</b>"));

    // A name cut short shows whole in its tool tip, as written.
    QTest::keyClick(form_.get(), Qt::Key_PageDown);
    QCOMPARE(form_->lblIDVal->text(), QStringLiteral("2"));
    const QString tip = form_->lblNameVal->toolTip();
    QVERIFY(!tip.isEmpty());
    QTextDocument shownTip;
    if (Qt::mightBeRichText(tip))
        shownTip.setHtml(tip);
    else
        shownTip.setPlainText(tip);
    QCOMPARE(shownTip.toPlainText(), longName);
    QCOMPARE(errors_, QStringList());
}

QTEST_MAIN(TestFormKeys)
#include "tst_form_keys.moc"
