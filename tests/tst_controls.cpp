// The arrow box, the sum box and the round panel; the point-text rule and
// the sum calculation.

#include "controls/uStandardGUIClasses.h"
#include "tests/support/expect_throw.h"

#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <memory>

namespace {

// A small sum tree wired the way the points window wires it: every box's
// change recalculates the sum it feeds.
struct SumTree {
    QWidget owner;
    std::vector<TPointEdit*> arrows;
    TSumEdit* endA = nullptr;
    TSumEdit* endB = nullptr;
    TSumEdit* top = nullptr;
    int topChanges = 0;

    SumTree()
    {
        endA = new TSumEdit(&owner);
        endB = new TSumEdit(&owner);
        top = new TSumEdit(&owner);
        for (int i = 0; i < 6; ++i) {
            auto* arrow = new TPointEdit(&owner);
            arrow->ArrowNo = i + 1;
            arrow->sumEdit = i < 3 ? endA : endB;
            arrow->sumEdit->sumOfList.append(arrow);
            arrows.push_back(arrow);
        }
        for (TSumEdit* end : {endA, endB}) {
            end->sumEdit = top;
            top->sumOfList.append(end);
        }
        auto climb = [](QObject* sender) {
            if (auto* p = qobject_cast<TPointEdit*>(sender); p && p->sumEdit)
                p->sumEdit->CalculateSum();
            else if (auto* s = qobject_cast<TSumEdit*>(sender); s && s->sumEdit)
                s->sumEdit->CalculateSum();
        };
        for (TPointEdit* a : arrows)
            QObject::connect(a, &TScoreEdit::OnChange, climb);
        QObject::connect(endA, &TScoreEdit::OnChange, climb);
        QObject::connect(endB, &TScoreEdit::OnChange, climb);
        QObject::connect(top, &TScoreEdit::OnChange, [this] { ++topChanges; });
    }
};

} // namespace

class TestControls : public QObject {
    Q_OBJECT
private slots:
    void pointEditDefaults();
    void pointEditTakesRoundOfPanel();
    void sumEditDefaults();
    void releasingSumLeavesBoxes();

    void pointText_data();
    void pointText();

    void sumOfEmptyArrowsIsZero();
    void sumOfXNineMiss();
    void sumOfEmptyListIsZero();
    void higherSumAddsLowerSums();
    void sameTotalRaisesNothingAbove();
    void emptyIntoEmptyRaisesNothing();
    void impossibleArrowCountsNothing_data();
    void impossibleArrowCountsNothing();
    void unreadableSumKeepsSum();
    void totalBeyond32BitsIsNotWrapped();

    void changeEventOnRealChangesOnly();
    void keyboardFocusSelectsAll_data();
    void keyboardFocusSelectsAll();
    void keyFilterDropsAndPasses_data();
    void keyFilterDropsAndPasses();
};

void TestControls::pointEditDefaults()
{
    QWidget owner;
    TPointEdit box(&owner);
    QCOMPARE(box.width(), 30);
    QCOMPARE(box.ChangedByUser, false);
    QCOMPARE(box.RoundNo, 0);
    QCOMPARE(box.ArrowNo, 0);
    QCOMPARE(box.sumEdit, nullptr);
    QVERIFY(box.isEnabled());
    QVERIFY(!box.isReadOnly());
    QVERIFY(box.focusPolicy() & Qt::TabFocus);
    QCOMPARE(box.maxLength(), QLineEdit().maxLength());
    QVERIFY(box.text().isEmpty());
}

void TestControls::pointEditTakesRoundOfPanel()
{
    TRoundPanel panel;
    panel.RoundNo = 2;
    TPointEdit box(&panel);
    QCOMPARE(box.RoundNo, 2);
    panel.RoundNo = 1; // read once, at construction
    QCOMPARE(box.RoundNo, 2);
}

void TestControls::sumEditDefaults()
{
    QWidget owner;
    TSumEdit box(&owner);
    QVERIFY(box.isReadOnly());
    QCOMPARE(box.width(), 30);
    QVERIFY(!(box.focusPolicy() & Qt::TabFocus));
    QCOMPARE(box.palette().color(QPalette::Base), box.palette().color(QPalette::ToolTipBase));
    QCOMPARE(box.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(box.sumOfList.isEmpty());
    QCOMPARE(box.sumEdit, nullptr);
    QVERIFY(box.text().isEmpty());
}

void TestControls::releasingSumLeavesBoxes()
{
    QWidget owner;
    auto* arrow = new TPointEdit(&owner);
    {
        TSumEdit sum(&owner);
        sum.sumOfList.append(arrow);
    }
    arrow->setText(QStringLiteral("9")); // still alive
    QCOMPARE(arrow->text(), QStringLiteral("9"));
}

void TestControls::pointText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("arrow"); // a text an arrow box may hold

    QTest::newRow("X") << "X" << true << 10 << true;
    QTest::newRow("x") << "x" << true << 10 << true;
    QTest::newRow("M") << "M" << true << 0 << true;
    QTest::newRow("m") << "m" << true << 0 << true;
    QTest::newRow("empty") << "" << true << 0 << true;
    QTest::newRow("10") << "10" << true << 10 << true;
    QTest::newRow("1") << "1" << true << 1 << true;
    QTest::newRow("0") << "0" << true << 0 << true;
    QTest::newRow("11") << "11" << true << 11 << false;
    QTest::newRow("15, typed over part of 10") << "15" << true << 15 << false;
    QTest::newRow("50") << "50" << true << 50 << false;
    QTest::newRow("two zeros") << "00" << true << 0 << false;
    QTest::newRow("leading zero") << "07" << true << 7 << false;
    QTest::newRow("negative") << "-1" << true << -1 << false;
    QTest::newRow("leading spaces") << " 7" << true << 7 << false;
    QTest::newRow("sign") << "+3" << true << 3 << false;
    QTest::newRow("x hex") << "x1A" << true << 26 << false;
    QTest::newRow("x then 0") << "x0" << true << 0 << false;
    QTest::newRow("$ hex") << "$FF" << true << 255 << false;
    QTest::newRow("space before X") << " X" << false << 0 << false;
    QTest::newRow("XX") << "XX" << false << 0 << false;
    QTest::newRow("mm") << "mm" << false << 0 << false;
    QTest::newRow("digit then X") << "9X" << false << 0 << false;
    QTest::newRow("1 then X") << "1X" << false << 0 << false;
    QTest::newRow("trailing space") << "7 " << false << 0 << false;
    QTest::newRow("beyond 32 bits") << "2147483648" << false << 0 << false;
    QTest::newRow("not Latin-1") << QString::fromUtf8("\u20ac") << false << 0 << false;
}

void TestControls::pointText()
{
    QFETCH(QString, text);
    QFETCH(bool, readable);
    QFETCH(int, value);
    QFETCH(bool, arrow);
    QCOMPARE(IsArcheryValue(text), arrow);
    if (readable) {
        QCOMPARE(PointTextToValue(text), value);
    } else {
        const QByteArray expected = "'" + text.toLatin1() + "' is not a valid integer value";
        QVERIFY(expectThrowExactly<EConvertError>([&] { PointTextToValue(text); }, expected.toStdString()));
    }
}

void TestControls::sumOfEmptyArrowsIsZero()
{
    SumTree t;
    t.endA->CalculateSum();
    QCOMPARE(t.endA->text(), QStringLiteral("0"));
}

void TestControls::sumOfXNineMiss()
{
    SumTree t;
    t.arrows[0]->setText(QStringLiteral("X"));
    t.arrows[1]->setText(QStringLiteral("9"));
    t.arrows[2]->setText(QStringLiteral("M"));
    QCOMPARE(t.endA->text(), QStringLiteral("19"));
    QCOMPARE(t.top->text(), QStringLiteral("19"));
}

void TestControls::sumOfEmptyListIsZero()
{
    QWidget owner;
    TSumEdit sum(&owner);
    sum.CalculateSum();
    QCOMPARE(sum.text(), QStringLiteral("0"));
}

void TestControls::higherSumAddsLowerSums()
{
    SumTree t;
    t.arrows[4]->setText(QStringLiteral("7"));
    // endA was never calculated: it counts 0 and stays empty.
    QVERIFY(t.endA->text().isEmpty());
    QCOMPARE(t.endB->text(), QStringLiteral("7"));
    QCOMPARE(t.top->text(), QStringLiteral("7"));
    t.arrows[0]->setText(QStringLiteral("10"));
    QCOMPARE(t.endA->text(), QStringLiteral("10"));
    QCOMPARE(t.top->text(), QStringLiteral("17"));
    // The top adds what the lower sums show, not their arrows.
    t.endB->setText(QStringLiteral("20"));
    QCOMPARE(t.top->text(), QStringLiteral("30"));
}

void TestControls::sameTotalRaisesNothingAbove()
{
    SumTree t;
    t.arrows[0]->setText(QStringLiteral("5"));
    QCOMPARE(t.top->text(), QStringLiteral("5"));
    const int before = t.topChanges;
    t.top->setText(QStringLiteral("999")); // a stale top shows whether it is recalculated
    const int afterStale = t.topChanges;
    QCOMPARE(afterStale, before + 1);
    // 5 + M is still 5: endA's text stays, so nothing above it is recalculated.
    t.arrows[1]->setText(QStringLiteral("M"));
    QCOMPARE(t.endA->text(), QStringLiteral("5"));
    QCOMPARE(t.top->text(), QStringLiteral("999"));
    QCOMPARE(t.topChanges, afterStale);
}

void TestControls::emptyIntoEmptyRaisesNothing()
{
    SumTree t;
    QSignalSpy spy(t.arrows[0], &TScoreEdit::OnChange);
    t.arrows[0]->setText(QString());
    QCOMPARE(spy.count(), 0);
    QVERIFY(t.endA->text().isEmpty());
    QVERIFY(t.top->text().isEmpty());
}

void TestControls::impossibleArrowCountsNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("digit then X") << "9X";
    QTest::newRow("typed over part of 10") << "15";
    QTest::newRow("hex") << "x0";
    QTest::newRow("sign") << "+3";
}

void TestControls::impossibleArrowCountsNothing()
{
    QFETCH(QString, text);
    SumTree t;
    const QColor normal = t.arrows[1]->palette().color(QPalette::Base);
    t.arrows[0]->setText(QStringLiteral("8"));
    t.arrows[1]->setText(QStringLiteral("9"));
    QCOMPARE(t.endA->text(), QStringLiteral("17"));
    // No error while typing: the sum leaves the box out, the box is marked.
    t.arrows[1]->setText(text);
    QCOMPARE(t.endA->text(), QStringLiteral("8"));
    QCOMPARE(t.top->text(), QStringLiteral("8"));
    QVERIFY(!t.arrows[1]->HoldsArcheryValue());
    QCOMPARE(t.arrows[1]->palette().color(QPalette::Base), ImpossibleArrowColour);
    QVERIFY(t.arrows[1]->toolTip().contains(QLatin1String(ArcheryValuesText)));
    QCOMPARE(t.arrows[0]->palette().color(QPalette::Base), normal);
    // Mended, it counts again and looks as before.
    t.arrows[1]->setText(QStringLiteral("X"));
    QCOMPARE(t.endA->text(), QStringLiteral("18"));
    QCOMPARE(t.arrows[1]->palette().color(QPalette::Base), normal);
    QVERIFY(t.arrows[1]->toolTip().isEmpty());
}

void TestControls::unreadableSumKeepsSum()
{
    SumTree t;
    t.arrows[0]->setText(QStringLiteral("8"));
    QCOMPARE(t.top->text(), QStringLiteral("8"));
    t.endB->blockSignals(true);
    t.endB->setText(QStringLiteral("9X"));
    t.endB->blockSignals(false);
    QVERIFY_THROWS_EXCEPTION(EConvertError, t.top->CalculateSum());
    QCOMPARE(t.top->text(), QStringLiteral("8"));
}

void TestControls::totalBeyond32BitsIsNotWrapped()
{
    QWidget owner;
    auto* big = new TSumEdit(&owner);
    auto* one = new TSumEdit(&owner);
    auto* end = new TSumEdit(&owner);
    auto* top = new TSumEdit(&owner);
    end->sumOfList = {big, one};
    top->sumOfList = {end};
    big->setText(QStringLiteral("2147483647"));
    one->setText(QStringLiteral("1"));
    end->CalculateSum();
    // The true total, not one wrapped round to a negative number; the sum
    // above cannot read it and says so.
    QCOMPARE(end->text(), QStringLiteral("2147483648"));
    QVERIFY_THROWS_EXCEPTION(EConvertError, top->CalculateSum());
    QVERIFY(top->text().isEmpty());
}

void TestControls::changeEventOnRealChangesOnly()
{
    QWidget owner;
    auto* box = new TPointEdit(&owner);
    QSignalSpy spy(box, &TScoreEdit::OnChange);
    box->setText(QStringLiteral("7"));
    box->setText(QStringLiteral("7"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QObject*>(), box);
    // Typing raises it too.
    owner.show();
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(spy.count(), 2);
    QVERIFY(box->text().isEmpty());
}

void TestControls::keyboardFocusSelectsAll_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<bool>("selected");
    QTest::newRow("program") << int(Qt::OtherFocusReason) << true;
    QTest::newRow("tab") << int(Qt::TabFocusReason) << true;
    QTest::newRow("backtab") << int(Qt::BacktabFocusReason) << true;
    QTest::newRow("mouse") << int(Qt::MouseFocusReason) << false;
}

void TestControls::keyboardFocusSelectsAll()
{
    QFETCH(int, reason);
    QFETCH(bool, selected);
    QWidget owner;
    auto* other = new TPointEdit(&owner);
    auto* box = new TPointEdit(&owner);
    box->move(40, 0);
    box->setText(QStringLiteral("10"));
    box->deselect();
    owner.show();
    QVERIFY(QTest::qWaitForWindowActive(&owner));
    other->setFocus();
    box->setFocus(static_cast<Qt::FocusReason>(reason));
    QCOMPARE(box->hasSelectedText(), selected);
    if (selected) {
        QTest::keyClick(box, Qt::Key_9);
        QCOMPARE(box->text(), QStringLiteral("9"));
    }
}

void TestControls::keyFilterDropsAndPasses_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("seen");     // character the handler sees, 0: not asked
    QTest::addColumn<QString>("text"); // box text afterwards (starts "1")

    QTest::newRow("digit passes") << int(Qt::Key_0) << 0 << int('0') << "10";
    QTest::newRow("letter dropped") << int(Qt::Key_Q) << 0 << int('q') << "1";
    QTest::newRow("backspace") << int(Qt::Key_Backspace) << 0 << 8 << "";
    QTest::newRow("enter") << int(Qt::Key_Return) << 0 << 13 << "1";
    QTest::newRow("paste key") << int(Qt::Key_V) << int(Qt::ControlModifier) << 22 << "1";
    QTest::newRow("cursor key unseen") << int(Qt::Key_Left) << 0 << 0 << "1";
}

void TestControls::keyFilterDropsAndPasses()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, seen);
    QFETCH(QString, text);
    QWidget owner;
    auto* box = new TPointEdit(&owner);
    int asked = 0;
    auto* filter = new TKeyPressFilter(
        [&](QObject* sender, char16_t& k) {
            QCOMPARE(sender, box);
            asked = k;
            if (k != '0' && k != 8)
                k = 0;
        },
        &owner);
    box->installEventFilter(filter);
    box->setText(QStringLiteral("1"));
    owner.show();
    box->setFocus(Qt::MouseFocusReason);
    box->end(false);
    QTest::keyClick(box, static_cast<Qt::Key>(key), static_cast<Qt::KeyboardModifiers>(modifiers));
    QCOMPARE(asked, seen);
    QCOMPARE(box->text(), text);
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
