// The points window at work, driven as an operator drives it: keys typed
// into the focused arrow box, Page Down, the buttons, the lane tree and
// closing, with what lands in POINTS read back through another attachment.

#include "tests/support/competition.h"
#include "tests/support/typing.h"

#include "db/transaction.h"
#include "forms/error_display.h"
#include "forms/uVuRudiCompetition.h"
#include "controls/window_picture.h"
#include "model/cursor_seam.h"
#include "model/message_seam.h"

#include <QApplication>
#include <QAction>
#include <QClipboard>
#include <QMenu>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

namespace {

// The archers in lane order: 10 (1A), 11 (1B), 13 (2A), 12 (3A). Archer 12's
// country has no row.
const std::vector<std::string> FourArchers{
    "insert into COUNTRY (COUNTRYNUMBER, NAME) values (1, 'Deutschland')",
    "insert into COUNTRY (COUNTRYNUMBER, NAME) values (2, 'D\xE4nemark')",
    "insert into BOWTYPES (TYPENO, DESCRIPTION) values (1, 'Recurve')",
    "insert into AGECLASS (AGECLASSNO, DESCRIPTION) values (1, 'Adult')",
    "insert into SHOOTINGCLASSES (SHOOTINGCLASSNO, DESCRIPTION) values (1, 'Open')",
    "insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, SEX, BOWTYPE, AGECLASSNO, SHOOTINGCLASS, LANENO, LANELETTER)"
    " values (10, 1, 'Anna \xC4rger', '1A', 'F', 1, 1, 1, 1, 'A')",
    "insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, SEX, BOWTYPE, AGECLASSNO, SHOOTINGCLASS, LANENO, LANELETTER)"
    " values (11, 1, 'Bernd', '1B', 'M', 1, 1, 1, 1, 'B')",
    "insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, LANENO, LANELETTER)"
    " values (12, 99, 'Dora', '3A', 3, 'A')",
    "insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, LANENO, LANELETTER)"
    " values (13, 2, 'Carl', '2A', 2, 'A')",
};

std::string arrowRow(int archer, int round, int arrow, int point, const char* cross = "F", const char* empty = "F")
{
    return "insert into POINTS (ARCHERID, ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE) values (" + std::to_string(archer)
        + ", " + std::to_string(round) + ", " + std::to_string(arrow) + ", " + std::to_string(point) + ", '" + cross
        + "', '" + empty + "')";
}

QString text(const std::string& latin1)
{
    return QString::fromLatin1(latin1.data(), static_cast<qsizetype>(latin1.size()));
}

} // namespace

class TestFormEntry : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void typedArrowIsStoredAndShown_data();
    void typedArrowIsStoredAndShown();
    void sumsFollowEachKeystroke();
    void nextAndPriorWrapAround();
    void sumsMatchEachArcherShown();
    void singleArcherReloadsItself();
    void pageDownFromArrowBoxSavesAndMoves();
    void pageDownWithoutTypingSavesNothing();
    void pageKeysOnTheWindowAfterTyping();
    void laneNodeSavesAndKeepsArcher();
    void clickOnStillSelectedNodeBringsArcherBack();
    void close_data();
    void close();
    void nextAfterShowFollowsDisplayedArcher();
    void laneTreeNodes();
    void laneOneAlwaysThere();
    void storedArrowsInTheirOwnBoxes_data();
    void storedArrowsInTheirOwnBoxes();
    void focusOnFirstEmptyStoredArrow();
    void conflictKeepsTypedArrows_data();
    void conflictKeepsTypedArrows();
    void arrowsBeyondTheBoxesSurvive();
    void emptyArcherTable();
    void pastedUnreadableText();
    void everyEditMarksTheArcher_data();
    void everyEditMarksTheArcher();
    void impossibleScoreKeepsTheArcher_data();
    void impossibleScoreKeepsTheArcher();
    void pageKeyMovesOneArcher_data();
    void pageKeyMovesOneArcher();
    void focusAfterEveryLoad_data();
    void focusAfterEveryLoad();
    void failedReadKeepsTheArcherOnDisplay_data();
    void failedReadKeepsTheArcherOnDisplay();
    void removedArcherIsNotSavedAndStaysGone_data();
    void removedArcherIsNotSavedAndStaysGone();
    void keptArrowOfAnotherStationIsShown();
    void creationErrorWaitsForTheWindow();
    void showErrorGoesToCaller();
    void picture();

private:
    // The data context and the window on the competition as seeded.
    void open(const std::vector<std::string>& seed = FourArchers);
    bool showWindow();
    std::vector<std::string> arrowsOf(int archer);
    QString shownId() const { return form_->lblIDVal->text(); }
    // Ends the window's attachment from another one, as a server restart does.
    void endTheWindowsAttachment();

    std::unique_ptr<TestCompetition> competition_;
    std::unique_ptr<TdmTallyon> dm_;
    std::unique_ptr<TfrmVuRudiCompetition> form_;
    QStringList errors_;
    QStringList messages_;
    std::vector<int> cursors_;
};

void TestFormEntry::init()
{
    errors_.clear();
    messages_.clear();
    cursors_.clear();
    SetErrorHandler([this](const QString& message) { errors_ << message; });
    SetMessageHandler([this](const std::string& message) { messages_ << text(message); });
    SetCursorHandler([this](int cursor) { cursors_.push_back(cursor); });
    competition_ = std::make_unique<TestCompetition>();
}

void TestFormEntry::cleanup()
{
    if (form_)
        form_->hide();
    form_.reset();
    dm_.reset();
    competition_.reset();
    SetErrorHandler({});
    SetMessageHandler({});
    SetCursorHandler({});
}

void TestFormEntry::open(const std::vector<std::string>& seed)
{
    if (!seed.empty())
        competition_->seed(seed);
    dm_ = competition_->connectContext();
    form_ = std::make_unique<TfrmVuRudiCompetition>(dm_.get());
}

bool TestFormEntry::showWindow()
{
    form_->show();
    return QTest::qWaitForWindowActive(form_.get());
}

std::vector<std::string> TestFormEntry::arrowsOf(int archer)
{
    return competition_->rows("select ROUNDNO, ARROWNO, POINT, \"CROSS\", EMPTYSCORE from POINTS where ARCHERID = "
                              + std::to_string(archer) + " order by ROUNDNO, ARROWNO");
}

void TestFormEntry::typedArrowIsStoredAndShown_data()
{
    QTest::addColumn<QString>("keys");    // ^ selects the box's text, \b is backspace
    QTest::addColumn<QString>("typed");   // the box after the keys
    QTest::addColumn<QString>("stored");  // POINT|CROSS|EMPTYSCORE
    QTest::addColumn<QString>("shown");   // the box when the archer is shown again

    QTest::newRow("1 then 0") << "10" << "10" << "10|F|F" << "10";
    QTest::newRow("after 1, 5 is dropped") << "15" << "1" << "1|F|F" << "1";
    QTest::newRow("after 1, X is dropped") << "1X" << "1" << "1|F|F" << "1";
    QTest::newRow("after 1, M is dropped") << "1M" << "1" << "1|F|F" << "1";
    QTest::newRow("after 7 only backspace") << "70xM\b" << "" << "0|F|T" << "";
    QTest::newRow("9 over a selection") << "7^9" << "9" << "9|F|F" << "9";
    QTest::newRow("x is a cross") << "x" << "x" << "10|T|F" << "X";
    QTest::newRow("X is a cross") << "X" << "X" << "10|T|F" << "X";
    QTest::newRow("m is a miss") << "m" << "m" << "0|F|F" << "M";
    QTest::newRow("0 is a miss") << "0" << "0" << "0|F|F" << "M";
    QTest::newRow("a dropped key still saves") << "q" << "" << "0|F|T" << "";
}

void TestFormEntry::typedArrowIsStoredAndShown()
{
    QFETCH(QString, keys);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    open();
    QVERIFY(showWindow());
    QCOMPARE(shownId(), QStringLiteral("10"));

    typeInto(form_->PointEdit5, keys);
    QCOMPARE(form_->PointEdit5->text(), typed);
    QVERIFY(form_->Changed);
    form_->dxBtnNext->click();
    QCOMPARE(shownId(), QStringLiteral("11"));
    QVERIFY(!form_->Changed);

    // All 60 arrows are written; the untouched ones empty.
    const std::vector<std::string> rows = arrowsOf(10);
    QCOMPARE(rows.size(), std::size_t{60});
    QCOMPARE(text(rows[4]), QStringLiteral("1|5|") + stored);
    QCOMPARE(text(rows[0]), QStringLiteral("1|1|0|F|T"));
    QCOMPARE(text(rows[59]), QStringLiteral("2|30|0|F|T"));

    form_->dxBtnPrior->click();
    QCOMPARE(shownId(), QStringLiteral("10"));
    QCOMPARE(form_->PointEdit5->text(), shown);
    QCOMPARE(errors_, QStringList());
}

void TestFormEntry::sumsFollowEachKeystroke()
{
    open();
    QVERIFY(showWindow());
    struct Step {
        TPointEdit* box;
        const char* key;
        const char* endSum;   // the end's sum box after the key
        const char* total;    // SumEdit17 after the key
    };
    const Step steps[] = {
        {form_->pe1, "9", "9", "9"},
        {form_->pe2, "x", "19", "19"},
        {form_->PointEdit1, "1", "1", "20"},
        {form_->PointEdit1, "0", "10", "29"},
        {form_->PointEdit58, "m", "0", "29"},
        {form_->pe2, "\b", "9", "19"},
    };
    for (const Step& step : steps) {
        typeInto(step.box, QLatin1String(step.key));
        QCOMPARE(step.box->sumEdit->text(), QLatin1String(step.endSum));
        QCOMPARE(form_->SumEdit17->text(), QLatin1String(step.total));
    }
    // Each level between the end and the grand total follows as well.
    QCOMPARE(form_->se11->text(), QStringLiteral("9"));
    QCOMPARE(form_->se16->text(), QStringLiteral("9"));
    QCOMPARE(form_->SumEdit16->text(), QStringLiteral("10"));
}

void TestFormEntry::nextAndPriorWrapAround()
{
    open();
    QVERIFY(showWindow());
    QStringList seen{shownId()};
    for (int i = 0; i < 4; ++i) {
        form_->dxBtnNext->click();
        seen << shownId();
    }
    QCOMPARE(seen, QStringList({"10", "11", "13", "12", "10"}));
    form_->dxBtnPrior->click();
    QCOMPARE(shownId(), QStringLiteral("12"));
    QCOMPARE(form_->lblNameVal->text(), QStringLiteral("Dora"));
    QCOMPARE(form_->lblCountryVal->text(), QString()); // no such country
    form_->dxBtnPrior->click();
    QCOMPARE(shownId(), QStringLiteral("13"));
    QCOMPARE(form_->lblCountryVal->text(), QStringLiteral("D\u00E4nemark"));
    // The hidden Find button names the archer query's row.
    form_->dxBtnFindClick(form_->dxBtnFind);
    QCOMPARE(messages_, QStringList({"Carl"}));
    // Each move shows the hourglass and ends on the default cursor.
    QVERIFY(std::find(cursors_.begin(), cursors_.end(), crHourGlass) != cursors_.end());
    QCOMPARE(cursors_.back(), crDefault);
    QCOMPARE(errors_, QStringList());
}

void TestFormEntry::sumsMatchEachArcherShown()
{
    // Archer 10: every arrow 1, a cross in round 2; archer 11: a few arrows
    // of round 1; archer 13: none.
    std::vector<std::string> seed = FourArchers;
    for (int round = 1; round <= 2; ++round)
        for (int arrow = 1; arrow <= 30; ++arrow)
            seed.push_back(round == 2 && arrow == 30 ? arrowRow(10, 2, 30, 10, "T") : arrowRow(10, round, arrow, 1));
    seed.push_back(arrowRow(11, 1, 1, 9));
    seed.push_back(arrowRow(11, 1, 4, 7));
    seed.push_back(arrowRow(11, 1, 29, 0));
    open(seed);
    QVERIFY(showWindow());
    struct Shown {
        const char* id;
        const char* se1;      // round 1, arrows 1 to 3
        const char* se2;      // round 1, arrows 4 to 6
        const char* se16;     // round 1
        const char* sum10;    // round 2, arrows 28 to 30
        const char* sum16;    // round 2
        const char* total;
    };
    const Shown steps[] = {
        {"10", "3", "3", "30", "12", "39", "69"},
        {"11", "9", "7", "16", "0", "0", "16"},
        {"13", "0", "0", "0", "0", "0", "0"},
        {"12", "0", "0", "0", "0", "0", "0"},
        {"10", "3", "3", "30", "12", "39", "69"},
    };
    for (const Shown& step : steps) {
        QCOMPARE(shownId(), QLatin1String(step.id));
        QCOMPARE(form_->se1->text(), QLatin1String(step.se1));
        QCOMPARE(form_->se2->text(), QLatin1String(step.se2));
        QCOMPARE(form_->se16->text(), QLatin1String(step.se16));
        QCOMPARE(form_->SumEdit10->text(), QLatin1String(step.sum10));
        QCOMPARE(form_->SumEdit16->text(), QLatin1String(step.sum16));
        QCOMPARE(form_->SumEdit17->text(), QLatin1String(step.total));
        form_->dxBtnNext->click();
    }
    QCOMPARE(errors_, QStringList());
}

void TestFormEntry::singleArcherReloadsItself()
{
    open({"insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (5, 'Solo', '4A', 4, 'A')"});
    QVERIFY(showWindow());
    typeInto(form_->PointEdit31, QStringLiteral("8"));
    form_->dxBtnNext->click();
    QCOMPARE(shownId(), QStringLiteral("5"));
    QVERIFY(!form_->Changed);
    QCOMPARE(form_->PointEdit31->text(), QStringLiteral("8"));
    QCOMPARE(form_->SumEdit17->text(), QStringLiteral("8"));
    form_->dxBtnPrior->click();
    QCOMPARE(shownId(), QStringLiteral("5"));
    QCOMPARE(text(arrowsOf(5).at(32)), QStringLiteral("2|3|8|F|F"));
}

void TestFormEntry::pageDownFromArrowBoxSavesAndMoves()
{
    open();
    QVERIFY(showWindow());
    typeInto(form_->pe1, QStringLiteral("9"));
    QTest::keyClick(form_->pe1, Qt::Key_PageDown);
    QCOMPARE(shownId(), QStringLiteral("11"));
    QCOMPARE(text(arrowsOf(10).at(0)), QStringLiteral("1|1|9|F|F"));
    QVERIFY(form_->pe1->text().isEmpty());
    // Page Up from wherever the focus is.
    form_->fctvRange->setFocus();
    QTest::keyClick(form_->fctvRange, Qt::Key_PageUp);
    QCOMPARE(shownId(), QStringLiteral("10"));
    QCOMPARE(form_->pe1->text(), QStringLiteral("9"));
}

void TestFormEntry::pageDownWithoutTypingSavesNothing()
{
    open();
    QVERIFY(showWindow());
    // Keys that type nothing are no key press for the archer.
    form_->pe1->setFocus();
    QTest::keyClick(form_->pe1, Qt::Key_Right);
    QTest::keyClick(form_->pe1, Qt::Key_Shift);
    QVERIFY(!form_->Changed);
    QTest::keyClick(form_->pe1, Qt::Key_PageDown);
    QCOMPARE(shownId(), QStringLiteral("11"));
    QVERIFY(arrowsOf(10).empty());
}

void TestFormEntry::pageKeysOnTheWindowAfterTyping()
{
    open();
    QVERIFY(showWindow());
    // Each key press is previewed once, whichever widget receives it.
    for (int round = 0; round < 2; ++round) {
        form_->pe1->setFocus();
        QTest::keyClick(form_->pe1, Qt::Key_8);
        QTest::keyClick(form_.get(), Qt::Key_PageDown);
        QCOMPARE(shownId(), round == 0 ? QStringLiteral("11") : QStringLiteral("13"));
    }
    QCOMPARE(text(arrowsOf(10).at(0)), QStringLiteral("1|1|8|F|F"));
    form_->pe2->setFocus();
    QTest::keyClick(form_->pe2, Qt::Key_7);
    QTest::keyClick(form_->RoundPanel1, Qt::Key_PageUp);
    QCOMPARE(shownId(), QStringLiteral("11"));
    QCOMPARE(text(arrowsOf(13).at(1)), QStringLiteral("1|2|7|F|F"));
}

void TestFormEntry::laneNodeSavesAndKeepsArcher()
{
    open();
    QVERIFY(showWindow());
    typeInto(form_->pe1, QStringLiteral("8"));
    QTreeWidgetItem* lane3 = form_->fctvRange->topLevelItem(2);
    QCOMPARE(lane3->text(0), QStringLiteral("3"));
    form_->fctvRange->setCurrentItem(lane3);
    QCOMPARE(shownId(), QStringLiteral("10"));
    QVERIFY(form_->Changed);
    QCOMPARE(form_->pe1->text(), QStringLiteral("8"));
    QCOMPARE(text(arrowsOf(10).at(0)), QStringLiteral("1|1|8|F|F"));
    // An archer node then saves again and moves.
    form_->fctvRange->setCurrentItem(lane3->child(0));
    QCOMPARE(shownId(), QStringLiteral("12"));
    QVERIFY(!form_->Changed);
}

void TestFormEntry::clickOnStillSelectedNodeBringsArcherBack()
{
    open();
    QVERIFY(showWindow());
    QTreeWidgetItem* bernd = form_->fctvRange->topLevelItem(0)->child(1);
    form_->fctvRange->topLevelItem(0)->setExpanded(true);
    const QPoint at = form_->fctvRange->visualItemRect(bernd).center();
    QTest::mouseClick(form_->fctvRange->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(shownId(), QStringLiteral("11"));
    form_->dxBtnNext->click();
    QCOMPARE(shownId(), QStringLiteral("13"));
    QCOMPARE(form_->fctvRange->currentItem(), bernd); // moving leaves the tree alone
    QTest::mouseClick(form_->fctvRange->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(shownId(), QStringLiteral("11"));
    // A click on the archer on display changes nothing, typed arrows included.
    typeInto(form_->pe2, QStringLiteral("4"));
    QTest::mouseClick(form_->fctvRange->viewport(), Qt::LeftButton, {}, at);
    QVERIFY(form_->Changed);
    QCOMPARE(form_->pe2->text(), QStringLiteral("4"));
    QVERIFY(arrowsOf(11).empty());
    // A click with Ctrl held takes the selection away and leaves the node
    // current; with no node selected the click does nothing.
    form_->dxBtnNext->click();
    QCOMPARE(shownId(), QStringLiteral("13"));
    QTest::mouseClick(form_->fctvRange->viewport(), Qt::LeftButton, Qt::ControlModifier, at);
    QVERIFY(!bernd->isSelected());
    QCOMPARE(form_->fctvRange->currentItem(), bernd);
    QCOMPARE(shownId(), QStringLiteral("13"));
}

void TestFormEntry::close_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("rows");
    QTest::newRow("with a key pressed") << "7" << 60;
    QTest::newRow("without") << "" << 0;
}

void TestFormEntry::close()
{
    QFETCH(QString, keys);
    QFETCH(int, rows);
    open();
    QVERIFY(showWindow());
    if (!keys.isEmpty())
        typeInto(form_->PointEdit3, keys);
    QVERIFY(form_->close());
    QVERIFY(!form_->isVisible());
    QCOMPARE(arrowsOf(10).size(), std::size_t(rows));
    // The boxes were copied into the archer either way.
    QCOMPARE(form_->CurrentArcher->Results.size(), std::size_t{60});
    QCOMPARE(form_->CurrentArcher->Results.at(2)->EmptyScore, keys.isEmpty());
}

void TestFormEntry::nextAfterShowFollowsDisplayedArcher()
{
    open();
    QVERIFY(showWindow());
    form_->dxBtnNext->click();
    form_->dxBtnNext->click();
    QCOMPARE(shownId(), QStringLiteral("13"));
    QVERIFY(form_->close());
    QVERIFY(showWindow());
    QCOMPARE(shownId(), QStringLiteral("13"));
    form_->dxBtnNext->click();
    QCOMPARE(shownId(), QStringLiteral("12"));
    QVERIFY(form_->close());
    QVERIFY(showWindow());
    form_->dxBtnPrior->click();
    QCOMPARE(shownId(), QStringLiteral("13"));
}

void TestFormEntry::laneTreeNodes()
{
    open();
    QVERIFY(showWindow());
    struct Node {
        QString text;
        QString data;
        int image;
        int children;
    };
    QList<Node> nodes;
    for (int i = 0; i < form_->fctvRange->topLevelItemCount(); ++i) {
        QTreeWidgetItem* lane = form_->fctvRange->topLevelItem(i);
        nodes.append({lane->text(0), lane->data(0, NodeDataRole).toString(), lane->data(0, NodeImageRole).toInt(),
                      lane->childCount()});
        for (int j = 0; j < lane->childCount(); ++j) {
            QTreeWidgetItem* archer = lane->child(j);
            nodes.append({archer->text(0), archer->data(0, NodeDataRole).toString(),
                          archer->data(0, NodeImageRole).toInt(), archer->childCount()});
        }
    }
    const QList<Node> expected{
        {"1", "", LaneImage, 2},
        {"1A - Anna \u00C4rger - Deutschland", "10", ArcherImage, 0},
        {"1B - Bernd - Deutschland", "11", ArcherImage, 0},
        {"2", "", LaneImage, 1},
        {"2A - Carl - D\u00E4nemark", "13", ArcherImage, 0},
        {"3", "", LaneImage, 1},
        {"3A - Dora", "12", ArcherImage, 0},
    };
    QCOMPARE(nodes.size(), expected.size());
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        QCOMPARE(nodes[i].text, expected[i].text);
        QCOMPARE(nodes[i].data, expected[i].data);
        QCOMPARE(nodes[i].image, expected[i].image);
        QCOMPARE(nodes[i].children, expected[i].children);
    }
    // The node's picture is its image, selected or not.
    QTreeWidgetItem* archer = form_->fctvRange->topLevelItem(0)->child(0);
    const QImage person = form_->ilArchers->Image(ArcherImage).toImage();
    QCOMPARE(archer->icon(0).pixmap(16, QIcon::Normal).toImage(), person);
    QCOMPARE(archer->icon(0).pixmap(16, QIcon::Selected).toImage(), person);
    QCOMPARE(form_->fctvRange->topLevelItem(0)->icon(0).pixmap(16, QIcon::Selected).toImage(),
             form_->ilArchers->Image(LaneImage).toImage());
}

void TestFormEntry::laneOneAlwaysThere()
{
    open({"insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (1, 'Eve', '2B', 2, 'B')",
          "insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (2, 'Finn', '2A', 2, 'A')"});
    QVERIFY(showWindow());
    QCOMPARE(form_->fctvRange->topLevelItemCount(), 2);
    QCOMPARE(form_->fctvRange->topLevelItem(0)->text(0), QStringLiteral("1"));
    QCOMPARE(form_->fctvRange->topLevelItem(0)->childCount(), 0);
    QTreeWidgetItem* lane2 = form_->fctvRange->topLevelItem(1);
    QCOMPARE(lane2->child(0)->text(0), QStringLiteral("2A - Finn"));
    QCOMPARE(lane2->child(1)->text(0), QStringLiteral("2B - Eve"));
}

void TestFormEntry::storedArrowsInTheirOwnBoxes_data()
{
    QTest::addColumn<QStringList>("stored");    // round,arrow,points,cross,empty
    QTest::addColumn<QStringList>("boxes");     // box name=text; every other box is empty

    QTest::newRow("a gap") << QStringList({"1,2,7,F,F", "1,5,10,T,F", "2,1,9,F,F"})
                           << QStringList({"pe2=7", "PointEdit5=X", "PointEdit1=9"});
    QTest::newRow("round 2 without round 1") << QStringList({"2,1,10,F,F", "2,2,0,F,F", "2,3,0,F,T"})
                                             << QStringList({"PointEdit1=10", "PointEdit2=M"});
    QTest::newRow("a leading run") << QStringList({"1,1,5,F,F", "1,2,6,F,F"})
                                   << QStringList({"pe1=5", "pe2=6"});
}

void TestFormEntry::storedArrowsInTheirOwnBoxes()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, boxes);
    std::vector<std::string> seed = FourArchers;
    for (const QString& arrow : stored) {
        const QStringList f = arrow.split(u',');
        seed.push_back(arrowRow(10, f[0].toInt(), f[1].toInt(), f[2].toInt(), f[3].toLatin1().constData(),
                                f[4].toLatin1().constData()));
    }
    open(seed);
    QVERIFY(showWindow());
    QMap<QString, QString> expected;
    for (const QString& box : boxes)
        expected.insert(box.section(u'=', 0, 0), box.section(u'=', 1));
    for (const TPointEdit* box : std::as_const(form_->PointEdits))
        QCOMPARE(box->text(), expected.value(box->objectName()));

    // A save writes each box into its own row and leaves the others' values.
    typeInto(form_->PointEdit30, QStringLiteral("3"));
    form_->dxBtnNext->click();
    const std::vector<std::string> rows = arrowsOf(10);
    QCOMPARE(rows.size(), std::size_t{60});
    for (const QString& arrow : stored) {
        const QStringList f = arrow.split(u',');
        const std::size_t index = std::size_t((f[0].toInt() - 1) * 30 + f[1].toInt() - 1);
        QCOMPARE(text(rows.at(index)), f.join(u'|'));
    }
    QCOMPARE(text(rows.at(29)), QStringLiteral("1|30|3|F|F"));
    form_->dxBtnPrior->click();
    for (const TPointEdit* box : std::as_const(form_->PointEdits))
        if (box != form_->PointEdit30)
            QCOMPARE(box->text(), expected.value(box->objectName()));
}

void TestFormEntry::focusOnFirstEmptyStoredArrow()
{
    std::vector<std::string> seed = FourArchers;
    for (int round = 1; round <= 2; ++round)
        for (int arrow = 1; arrow <= 30; ++arrow)
            seed.push_back(arrowRow(11, round, arrow, 0, "F", round == 1 && arrow < 4 ? "F" : "T"));
    open(seed);
    QVERIFY(showWindow());
    form_->dxBtnNext->click();
    QCOMPARE(shownId(), QStringLiteral("11"));
    QCOMPARE(QApplication::focusWidget(), form_->PointEdit4);
    QCOMPARE(form_->PointEdit3->text(), QStringLiteral("M"));
}

void TestFormEntry::conflictKeepsTypedArrows_data()
{
    QTest::addColumn<bool>("byClose");
    QTest::addColumn<bool>("byTree");
    QTest::newRow("Next") << false << false;
    QTest::newRow("close") << true << false;
    QTest::newRow("click on another archer") << false << true;
}

void TestFormEntry::conflictKeepsTypedArrows()
{
    QFETCH(bool, byClose);
    QFETCH(bool, byTree);
    std::vector<std::string> seed = FourArchers;
    seed.push_back(arrowRow(10, 1, 2, 5));
    open(seed);
    QVERIFY(showWindow());
    typeInto(form_->pe1, QStringLiteral("9"));
    typeInto(form_->pe2, QStringLiteral("^8"));

    // Another station holds round 1, arrow 2 of this archer.
    db::Connection station;
    competition_->attach(station);
    auto holder = std::make_unique<db::Transaction>(&station);
    station.executeImmediate("update POINTS set POINT = 6 where ARCHERID = 10 and ROUNDNO = 1 and ARROWNO = 2",
                             *holder);

    form_->fctvRange->topLevelItem(0)->setExpanded(true);
    const QPoint bernd = form_->fctvRange->visualItemRect(form_->fctvRange->topLevelItem(0)->child(1)).center();
    auto leave = [&] {
        if (byTree)
            QTest::mouseClick(form_->fctvRange->viewport(), Qt::LeftButton, {}, bernd);
        else if (!byClose)
            form_->dxBtnNext->click();
        return byClose ? form_->close() : true;
    };
    const bool closed = leave();
    QVERIFY(!closed || !byClose);
    QCOMPARE(messages_.size(), 1);
    QVERIFY2(messages_[0].contains(QStringLiteral("Another station")), qPrintable(messages_[0]));
    QVERIFY(messages_[0].contains(QStringLiteral("nothing has been stored")));
    QCOMPARE(errors_, QStringList());
    QVERIFY(form_->isVisible());
    QCOMPARE(shownId(), QStringLiteral("10"));
    QCOMPARE(form_->pe1->text(), QStringLiteral("9"));
    QCOMPARE(form_->pe2->text(), QStringLiteral("8"));
    QVERIFY(form_->Changed);
    QCOMPARE(cursors_.back(), crDefault);
    QCOMPARE(arrowsOf(10), std::vector<std::string>({"1|2|5|F|F"}));

    // The other station is done: the next try stores what was typed.
    holder->rollback();
    QVERIFY(leave());
    QCOMPARE(messages_.size(), 1);
    const std::vector<std::string> rows = arrowsOf(10);
    QCOMPARE(rows.size(), std::size_t{60});
    QCOMPARE(rows[0], std::string("1|1|9|F|F"));
    QCOMPARE(rows[1], std::string("1|2|8|F|F"));
    QCOMPARE(form_->isVisible(), !byClose);
    holder.reset();
    station.disconnect();
}

void TestFormEntry::arrowsBeyondTheBoxesSurvive()
{
    std::vector<std::string> seed = FourArchers;
    for (int round = 1; round <= 2; ++round)
        for (int arrow = 1; arrow <= 30; ++arrow)
            seed.push_back(arrowRow(10, round, arrow, 1));
    seed.push_back(arrowRow(10, 1, 31, 4));
    seed.push_back(arrowRow(10, 3, 1, 6, "T"));
    open(seed);
    QVERIFY(showWindow());
    QCOMPARE(form_->CurrentArcher->Results.size(), std::size_t{62});
    QCOMPARE(form_->SumEdit17->text(), QStringLiteral("60"));

    // Another program changes an arrow no box shows while this one is typed.
    competition_->seed({"update POINTS set POINT = 7 where ARCHERID = 10 and ROUNDNO = 3"});
    typeInto(form_->pe1, QStringLiteral("^9"));
    form_->dxBtnNext->click();
    QCOMPARE(errors_, QStringList());
    QCOMPARE(shownId(), QStringLiteral("11"));
    const std::vector<std::string> rows = arrowsOf(10);
    QCOMPARE(rows.size(), std::size_t{62});
    QCOMPARE(rows[0], std::string("1|1|9|F|F"));
    QCOMPARE(rows[30], std::string("1|31|4|F|F"));
    QCOMPARE(rows[61], std::string("3|1|7|T|F"));
}

void TestFormEntry::emptyArcherTable()
{
    open({});
    // No error box, before the window is on screen or after: the window
    // opens empty and says where the archers come from.
    QCOMPARE(errors_, QStringList());
    QVERIFY(showWindow());
    QCOMPARE(errors_, QStringList());
    QCOMPARE(messages_, QStringList());
    QVERIFY(form_->lblNoArchers->isVisible());
    QVERIFY(form_->lblNoArchers->text().contains(QStringLiteral("tallyon import")));
    for (QLabel* value : {form_->lblIDVal, form_->lblNameVal, form_->lblLaneVal, form_->lblCountryVal})
        QCOMPARE(value->text(), QString());
    for (const TPointEdit* box : std::as_const(form_->PointEdits))
        QVERIFY(!box->isEnabled());
    QVERIFY(!form_->dxBtnNext->isEnabled());
    QVERIFY(!form_->dxBtnPrior->isEnabled());
    QCOMPARE(form_->fctvRange->topLevelItemCount(), 1);
    if (const QByteArray keep = qgetenv("TALLYON_PICTURE_DIR"); !keep.isEmpty())
        QVERIFY(RenderToPng(form_.get(), QString::fromLocal8Bit(keep) + QStringLiteral("/points-empty.png")));

    // Every way out of an archer is safe and stores nothing.
    QTest::keyClick(form_.get(), Qt::Key_PageDown);
    QTest::keyClick(form_.get(), Qt::Key_PageUp);
    form_->dxBtnNextClick(form_->dxBtnNext);
    form_->dxBtnPriorClick(form_->dxBtnPrior);
    form_->fctvRange->setCurrentItem(form_->fctvRange->topLevelItem(0));
    form_->fctvRangeClick(form_->fctvRange);
    QVERIFY(form_->close());
    QCOMPARE(errors_, QStringList());
    QCOMPARE(competition_->rows("select count(*) from POINTS"), std::vector<std::string>({"0"}));

    // With an archer at the next show, the window works as usual.
    dm_->IBSQLDelete.sqlClear();
    dm_->IBSQLDelete.sqlAdd("insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (3, 'Gus', '1A', 1, 'A')");
    dm_->IBSQLDelete.execute();
    QVERIFY(showWindow());
    QCOMPARE(shownId(), QStringLiteral("3"));
    QVERIFY(form_->pe1->isEnabled());
    QVERIFY(form_->dxBtnNext->isEnabled());
    QVERIFY(!form_->lblNoArchers->isVisible());
    QCOMPARE(QApplication::focusWidget(), form_->pe1);
    typeInto(form_->pe1, QStringLiteral("5"));
    form_->dxBtnNext->click();
    QCOMPARE(errors_, QStringList());
    QCOMPARE(text(arrowsOf(3).at(0)), QStringLiteral("1|1|5|F|F"));
}

void TestFormEntry::pastedUnreadableText()
{
    std::vector<std::string> seed = FourArchers;
    seed.push_back(arrowRow(10, 1, 1, 5));
    open(seed);
    QVERIFY(showWindow());
    typeInto(form_->pe2, QStringLiteral("7"));
    form_->PointEdit3->setFocus();
    QApplication::clipboard()->setText(QStringLiteral("9X"));
    form_->PointEdit3->paste();
    if (form_->PointEdit3->text().isEmpty())
        form_->PointEdit3->insert(QStringLiteral("9X")); // a platform without a clipboard
    QCOMPARE(errors_, QStringList());
    QCOMPARE(form_->se1->text(), QStringLiteral("12"));

    cursors_.clear();
    QTest::keyClick(form_->PointEdit3, Qt::Key_PageDown);
    QCOMPARE(errors_, QStringList());
    QCOMPARE(messages_.size(), 1);
    QVERIFY2(messages_[0].contains(QStringLiteral("round 1 arrow 3 holds \"9X\"")), qPrintable(messages_[0]));
    QCOMPARE(cursors_, std::vector<int>({crHourGlass, crDefault}));
    QCOMPARE(shownId(), QStringLiteral("10"));
    QCOMPARE(form_->pe1->text(), QStringLiteral("5"));
    QCOMPARE(form_->pe2->text(), QStringLiteral("7"));
    QCOMPARE(form_->PointEdit3->text(), QStringLiteral("9X"));
    QVERIFY(form_->Changed);
    QCOMPARE(arrowsOf(10), std::vector<std::string>({"1|1|5|F|F"}));

    // Mended, the arrows go in with the next move.
    typeInto(form_->PointEdit3, QStringLiteral("^9"));
    QTest::keyClick(form_->PointEdit3, Qt::Key_PageDown);
    QCOMPARE(shownId(), QStringLiteral("11"));
    const std::vector<std::string> rows = arrowsOf(10);
    QCOMPARE(rows.size(), std::size_t{60});
    QCOMPARE(rows[0], std::string("1|1|5|F|F"));
    QCOMPARE(rows[1], std::string("1|2|7|F|F"));
    QCOMPARE(rows[2], std::string("1|3|9|F|F"));
}

void TestFormEntry::everyEditMarksTheArcher_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("after"); // round 1 arrow 1, stored as 7, after the edit
    QTest::newRow("Delete") << "delete" << "";
    QTest::newRow("Shift+Delete cuts") << "shift+delete" << "";
    QTest::newRow("Shift+Insert pastes") << "shift+insert" << "9";
    QTest::newRow("Ctrl+V, a key the filter drops") << "ctrl+v" << "7";
    QTest::newRow("menu: Delete") << "Delete" << "";
    QTest::newRow("menu: Cut") << "Cut" << "";
    QTest::newRow("menu: Paste") << "Paste" << "9";
    QTest::newRow("menu: Undo of a paste") << "Undo" << "7";
}

void TestFormEntry::everyEditMarksTheArcher()
{
    QFETCH(QString, edit);
    QFETCH(QString, after);
    std::vector<std::string> seed = FourArchers;
    seed.push_back(arrowRow(10, 1, 1, 7));
    open(seed);
    QVERIFY(showWindow());
    TPointEdit* box = form_->pe1;
    QCOMPARE(box->text(), QStringLiteral("7"));
    QApplication::clipboard()->setText(QStringLiteral("9"));
    box->setFocus(Qt::OtherFocusReason);
    box->selectAll();
    if (edit == QLatin1String("delete")) {
        box->home(false);
        QTest::keyClick(box, Qt::Key_Delete);
    } else if (edit == QLatin1String("shift+delete")) {
        QTest::keyClick(box, Qt::Key_Delete, Qt::ShiftModifier);
    } else if (edit == QLatin1String("shift+insert")) {
        QTest::keyClick(box, Qt::Key_Insert, Qt::ShiftModifier);
    } else if (edit == QLatin1String("ctrl+v")) {
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    } else {
        if (edit == QLatin1String("Undo")) {
            // A paste and its undo: the box is back where it was, and
            // still the operator has worked on it.
            box->paste();
            form_->Changed = false;
            box->ChangedByUser = false;
        }
        // The box's own context menu, its entries by their words.
        std::unique_ptr<QMenu> menu(box->createStandardContextMenu());
        QAction* action = nullptr;
        for (QAction* entry : menu->actions())
            if (entry->text().section(u'\t', 0, 0).remove(u'&') == edit)
                action = entry;
        QVERIFY2(action, qPrintable(edit));
        QVERIFY(action->isEnabled());
        action->trigger();
    }
    QCOMPARE(box->text(), after);
    QVERIFY(form_->Changed);
    QVERIFY(box->ChangedByUser);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
    QCOMPARE(shownId(), QStringLiteral("11"));
    const std::vector<std::string> rows = arrowsOf(10);
    QCOMPARE(rows.size(), std::size_t{60});
    const QString stored = after.isEmpty() ? QStringLiteral("0|F|T") : after + QStringLiteral("|F|F");
    QCOMPARE(text(rows[0]), QStringLiteral("1|1|") + stored);
}

void TestFormEntry::impossibleScoreKeepsTheArcher_data()
{
    QTest::addColumn<QString>("before");  // round 1 arrow 5 before the edit
    QTest::addColumn<int>("from");        // the part selected and typed over
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("leave");   // next, close, tree
    QTest::newRow("5 over the 0 of 10, Next") << "10" << 1 << 1 << "5" << "15" << "next";
    QTest::newRow("5 over the 1 of 10, close") << "10" << 0 << 1 << "5" << "50" << "close";
    QTest::newRow("X over the 0 of 10, tree") << "10" << 1 << 1 << "X" << "1X" << "tree";
    QTest::newRow("0 over the 1 of 10, Page Down") << "10" << 0 << 1 << "0" << "00" << "page";
    QTest::newRow("x over the 1 of 10, Next") << "10" << 0 << 1 << "x" << "x0" << "next";
}

void TestFormEntry::impossibleScoreKeepsTheArcher()
{
    QFETCH(QString, before);
    QFETCH(int, from);
    QFETCH(int, length);
    QFETCH(QString, keys);
    QFETCH(QString, typed);
    QFETCH(QString, leave);
    open();
    QVERIFY(showWindow());
    typeInto(form_->pe1, QStringLiteral("9"));
    typeInto(form_->PointEdit5, before);
    QCOMPARE(form_->se2->text(), QStringLiteral("10"));
    form_->PointEdit5->setSelection(from, length);
    QTest::keyClicks(form_->PointEdit5, keys);
    QCOMPARE(form_->PointEdit5->text(), typed);
    // While typing: no error, the box is marked and counts nothing.
    QCOMPARE(errors_, QStringList());
    QCOMPARE(form_->se2->text(), QStringLiteral("0"));
    QCOMPARE(form_->SumEdit17->text(), QStringLiteral("9"));
    QCOMPARE(form_->PointEdit5->palette().color(QPalette::Base), ImpossibleArrowColour);

    form_->fctvRange->topLevelItem(0)->setExpanded(true);
    const QPoint bernd = form_->fctvRange->visualItemRect(form_->fctvRange->topLevelItem(0)->child(1)).center();
    auto leaveArcher = [&] {
        if (leave == QLatin1String("next"))
            form_->dxBtnNext->click();
        else if (leave == QLatin1String("page"))
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
        else if (leave == QLatin1String("tree"))
            QTest::mouseClick(form_->fctvRange->viewport(), Qt::LeftButton, {}, bernd);
        else
            form_->close();
    };
    leaveArcher();
    QCOMPARE(errors_, QStringList());
    QCOMPARE(messages_.size(), 1);
    QVERIFY2(messages_[0].contains(QStringLiteral("round 1 arrow 5 holds \"") + typed + u'"'), qPrintable(messages_[0]));
    QVERIFY(messages_[0].contains(QLatin1String(ArcheryValuesText)));
    QVERIFY(form_->isVisible());
    QCOMPARE(shownId(), QStringLiteral("10"));
    QCOMPARE(form_->PointEdit5->text(), typed);
    QCOMPARE(form_->pe1->text(), QStringLiteral("9"));
    QCOMPARE(QApplication::focusWidget(), form_->PointEdit5);
    QVERIFY(form_->Changed);
    QVERIFY(arrowsOf(10).empty());

    // Mended, everything typed is stored, nothing outside 0 to 10.
    QTest::keyClicks(form_->PointEdit5, QStringLiteral("8"));
    leaveArcher();
    QCOMPARE(messages_.size(), 1);
    const std::vector<std::string> rows = arrowsOf(10);
    QCOMPARE(rows.size(), std::size_t{60});
    QCOMPARE(text(rows[0]), QStringLiteral("1|1|9|F|F"));
    QCOMPARE(text(rows[4]), QStringLiteral("1|5|8|F|F"));
    QCOMPARE(competition_->rows("select count(*) from POINTS where POINT < 0 or POINT > 10"),
             std::vector<std::string>({"0"}));
}

void TestFormEntry::pageKeyMovesOneArcher_data()
{
    QTest::addColumn<QString>("focus");
    QTest::newRow("open lane tree") << "fctvRange";
    QTest::newRow("arrow box") << "PointEdit17";
    QTest::newRow("Next button") << "dxBtnNext";
    QTest::newRow("round panel") << "RoundPanel2";
}

void TestFormEntry::pageKeyMovesOneArcher()
{
    QFETCH(QString, focus);
    // Twenty archers, two on each of ten lanes: a tree page holds many.
    std::vector<std::string> seed;
    for (int i = 0; i < 20; ++i) {
        const std::string letter(1, i % 2 ? 'B' : 'A');
        const std::string lane = std::to_string(i / 2 + 1);
        seed.push_back("insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (" + std::to_string(i + 1)
                       + ", 'Archer " + std::to_string(i + 1) + "', '" + lane + letter + "', " + lane + ", '" + letter
                       + "')");
    }
    open(seed);
    QVERIFY(showWindow());
    form_->fctvRange->expandAll();
    QTreeWidgetItem* first = form_->fctvRange->topLevelItem(0)->child(0);
    form_->fctvRange->setCurrentItem(first);
    QCOMPARE(shownId(), QStringLiteral("1"));
    auto* target = form_->findChild<QWidget*>(focus);
    target->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(target, Qt::Key_PageDown);
    QCOMPARE(shownId(), QStringLiteral("2"));
    QCOMPARE(form_->fctvRange->currentItem(), first);
    target->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(target, Qt::Key_PageDown);
    QCOMPARE(shownId(), QStringLiteral("3"));
    target->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(target, Qt::Key_PageUp);
    QCOMPARE(shownId(), QStringLiteral("2"));
    QCOMPARE(form_->fctvRange->currentItem(), first);
    QCOMPARE(errors_, QStringList());
}

void TestFormEntry::focusAfterEveryLoad_data()
{
    QTest::addColumn<QString>("move");    // how the operator reaches archer 11
    QTest::addColumn<int>("stored");      // leading arrows stored for archer 11
    QTest::addColumn<QString>("focus");
    QTest::newRow("Page Down, nothing stored") << "page" << 0 << "pe1";
    QTest::newRow("Next, three stored") << "next" << 3 << "PointEdit4";
    QTest::newRow("Page Down, round 1 stored") << "page" << 30 << "PointEdit1";
    QTest::newRow("tree, nothing stored") << "tree" << 0 << "pe1";
    QTest::newRow("Prior, nothing stored") << "prior" << 0 << "pe1";
}

void TestFormEntry::focusAfterEveryLoad()
{
    QFETCH(QString, move);
    QFETCH(int, stored);
    QFETCH(QString, focus);
    std::vector<std::string> seed = FourArchers;
    for (int arrow = 1; arrow <= stored; ++arrow)
        seed.push_back(arrowRow(11, 1, arrow, 8));
    open(seed);
    QVERIFY(showWindow());
    QCOMPARE(QApplication::focusWidget(), form_->pe1);
    if (move == QLatin1String("prior")) {
        form_->dxBtnNext->click();
        form_->dxBtnNext->click();
        QCOMPARE(shownId(), QStringLiteral("13"));
    }
    // The last box of the card before: a box used last.
    typeInto(form_->PointEdit58, QStringLiteral("7"));
    if (move == QLatin1String("page")) {
        QTest::keyClick(form_->PointEdit58, Qt::Key_PageDown);
    } else if (move == QLatin1String("next")) {
        form_->dxBtnNext->click();
    } else if (move == QLatin1String("prior")) {
        form_->dxBtnPrior->click();
    } else {
        form_->fctvRange->topLevelItem(0)->setExpanded(true);
        const QPoint at = form_->fctvRange->visualItemRect(form_->fctvRange->topLevelItem(0)->child(1)).center();
        QTest::mouseClick(form_->fctvRange->viewport(), Qt::LeftButton, {}, at);
    }
    QCOMPARE(shownId(), QStringLiteral("11"));
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    // The next arrow typed lands there.
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("9"));
    form_->dxBtnNext->click();
    const std::vector<std::string> rows = arrowsOf(11);
    QCOMPARE(rows.size(), std::size_t{60});
    QCOMPARE(text(rows[std::size_t(stored)]), QStringLiteral("%1|%2|9|F|F").arg(stored < 30 ? 1 : 2).arg(stored % 30 + 1));
}

void TestFormEntry::endTheWindowsAttachment()
{
    std::int64_t id = 0;
    {
        db::Transaction asking(&dm_->IBDBCompetition);
        db::Query query(&dm_->IBDBCompetition, &asking);
        query.sqlAdd("select current_connection as ID from RDB$DATABASE");
        query.open();
        id = query.fieldByName("ID").value().toInteger();
        query.close();
        asking.commit();
    }
    competition_->seed({"delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID = " + std::to_string(id)});
}

void TestFormEntry::failedReadKeepsTheArcherOnDisplay_data()
{
    QTest::addColumn<bool>("typed");
    QTest::newRow("nothing typed: the read fails") << false;
    QTest::newRow("an arrow typed: the save fails") << true;
}

// The connection goes while archer 10 is on display and Page Down is
// pressed: the operator is told the connection was lost, the window and
// the archer query stay on archer 10 with its boxes, and once connected
// again the next Page Down goes to archer 11, not past it.
void TestFormEntry::failedReadKeepsTheArcherOnDisplay()
{
    QFETCH(bool, typed);
    std::vector<std::string> seed = FourArchers;
    seed.push_back(arrowRow(10, 1, 1, 6));
    open(seed);
    QVERIFY(showWindow());
    QCOMPARE(shownId(), QStringLiteral("10"));
    if (typed)
        typeInto(form_->pe2, QStringLiteral("7"));
    endTheWindowsAttachment();

    QTest::keyClick(form_.get(), Qt::Key_PageDown);
    QCOMPARE(errors_.size(), 1);
    QVERIFY2(errors_[0].contains(QStringLiteral("connection to the competition database was lost")),
             qPrintable(errors_[0]));
    QCOMPARE(shownId(), QStringLiteral("10"));
    QCOMPARE(form_->lblNameVal->text(), QStringLiteral("Anna Ärger"));
    QCOMPARE(form_->CurrentArcher->ID, 10);
    QCOMPARE(dm_->IBQryArcher.fieldByName("ARCHERID").asInteger(), 10);
    QCOMPARE(form_->pe1->text(), QStringLiteral("6"));
    QCOMPARE(form_->pe2->text(), typed ? QStringLiteral("7") : QString());
    QVERIFY(form_->pe1->isEnabled());
    QCOMPARE(form_->SumEdit17->text(), typed ? QStringLiteral("13") : QStringLiteral("6"));
    QCOMPARE(cursors_.back(), crDefault);

    // The operator goes on typing, then moves again.
    typeInto(form_->PointEdit3, QStringLiteral("X"));
    QTest::keyClick(form_.get(), Qt::Key_PageDown);
    QCOMPARE(errors_.size(), 1);
    QCOMPARE(shownId(), QStringLiteral("11"));
    const std::vector<std::string> rows = arrowsOf(10);
    QCOMPARE(rows.size(), std::size_t{60});
    QCOMPARE(rows[0], std::string("1|1|6|F|F"));
    QCOMPARE(rows[1], typed ? std::string("1|2|7|F|F") : std::string("1|2|0|F|T"));
    QCOMPARE(rows[2], std::string("1|3|10|T|F"));
    QVERIFY(arrowsOf(11).empty());
    QTest::keyClick(form_.get(), Qt::Key_PageDown);
    QCOMPARE(shownId(), QStringLiteral("13"));
}

void TestFormEntry::removedArcherIsNotSavedAndStaysGone_data()
{
    QTest::addColumn<QString>("leave");   // how the operator leaves archer 11
    QTest::addColumn<QString>("next");    // the archer shown then
    QTest::newRow("Page Down") << "pagedown" << "13";
    QTest::newRow("Page Up") << "pageup" << "10";
    QTest::newRow("lane node") << "lane" << "13";
    QTest::newRow("archer node") << "node" << "12";
}

// Another station removes archer 11 while this one types for it: the move
// stores nothing, one message names the archer, the window moves on, and
// neither Prior, Next nor the lane tree brings the archer back.
void TestFormEntry::removedArcherIsNotSavedAndStaysGone()
{
    QFETCH(QString, leave);
    QFETCH(QString, next);
    open();
    QVERIFY(showWindow());
    QTest::keyClick(form_.get(), Qt::Key_PageDown);
    QCOMPARE(shownId(), QStringLiteral("11"));
    typeInto(form_->pe1, QStringLiteral("8"));
    typeInto(form_->pe2, QStringLiteral("9"));
    competition_->seed({"delete from ARCHER where ARCHERID = 11"});

    QTreeWidgetItem* lane1 = form_->fctvRange->topLevelItem(0);
    QTreeWidgetItem* lane3 = form_->fctvRange->topLevelItem(2);
    if (leave == QLatin1String("pagedown"))
        QTest::keyClick(form_.get(), Qt::Key_PageDown);
    else if (leave == QLatin1String("pageup"))
        QTest::keyClick(form_.get(), Qt::Key_PageUp);
    else if (leave == QLatin1String("lane"))
        form_->fctvRange->setCurrentItem(lane3);
    else
        form_->fctvRange->setCurrentItem(lane3->child(0));
    QCOMPARE(errors_, QStringList());
    QCOMPARE(messages_.size(), 1);
    QVERIFY2(messages_[0].contains(QStringLiteral("Bernd")) && messages_[0].contains(QStringLiteral("removed")),
             qPrintable(messages_[0]));
    QCOMPARE(shownId(), next);
    QVERIFY(arrowsOf(11).empty());
    QCOMPARE(competition_->count("select count(*) from POINTS"), 0);
    QVERIFY(lane1->child(1)->isHidden());

    // The order goes round without archer 11: 10, 13, 12.
    QStringList seen;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(form_.get(), Qt::Key_PageUp);
        seen << shownId();
    }
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(form_.get(), Qt::Key_PageDown);
        seen << shownId();
    }
    QVERIFY2(!seen.contains(QStringLiteral("11")), qPrintable(seen.join(u',')));
    QCOMPARE(messages_.size(), 1);
    // Nor does the next show.
    QVERIFY(form_->close());
    QVERIFY(showWindow());
    QVERIFY(shownId() != QStringLiteral("11"));
    QVERIFY(form_->fctvRange->topLevelItem(0)->child(1)->isHidden());
}

// A click on a lane node saves and keeps the archer: an arrow another
// station stored meanwhile, which this operator left alone, shows as
// stored in its box and in the sums, and a later change of that station
// is kept again, without a report of arrows changed on both stations.
void TestFormEntry::keptArrowOfAnotherStationIsShown()
{
    std::vector<std::string> seed = FourArchers;
    for (int arrow = 1; arrow <= 3; ++arrow)
        seed.push_back(arrowRow(10, 1, arrow, 5));
    open(seed);
    QVERIFY(showWindow());
    QCOMPARE(form_->se1->text(), QStringLiteral("15"));
    competition_->seed({"update POINTS set POINT = 9 where ARCHERID = 10 and ROUNDNO = 1 and ARROWNO = 2"});

    typeInto(form_->pe1, QStringLiteral("^8"));
    form_->fctvRange->setCurrentItem(form_->fctvRange->topLevelItem(2));
    QCOMPARE(shownId(), QStringLiteral("10"));
    QCOMPARE(messages_, QStringList());
    QCOMPARE(form_->pe2->text(), QStringLiteral("9"));
    QCOMPARE(form_->se1->text(), QStringLiteral("22"));
    QCOMPARE(form_->SumEdit17->text(), QStringLiteral("22"));
    QCOMPARE(arrowsOf(10).at(1), std::string("1|2|9|F|F"));

    competition_->seed({"update POINTS set POINT = 7 where ARCHERID = 10 and ROUNDNO = 1 and ARROWNO = 2"});
    typeInto(form_->PointEdit3, QStringLiteral("^6"));
    form_->fctvRange->setCurrentItem(form_->fctvRange->topLevelItem(0));
    QCOMPARE(messages_, QStringList());
    QCOMPARE(form_->pe2->text(), QStringLiteral("7"));
    QCOMPARE(form_->se1->text(), QStringLiteral("21"));
    const std::vector<std::string> rows = arrowsOf(10);
    QCOMPARE(rows.at(0), std::string("1|1|8|F|F"));
    QCOMPARE(rows.at(1), std::string("1|2|7|F|F"));
    QCOMPARE(rows.at(2), std::string("1|3|6|F|F"));
}

void TestFormEntry::creationErrorWaitsForTheWindow()
{
    competition_->seed(FourArchers);
    dm_ = competition_->connectContext();
    // A data context without its connection: the creation handler cannot
    // order the archers.
    dm_->IBDBCompetition.disconnect();
    form_ = std::make_unique<TfrmVuRudiCompetition>(dm_.get());
    QCOMPARE(errors_, QStringList());
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    // Told once the window is there, then the show handler's own error.
    QVERIFY(!errors_.isEmpty());
    const QStringList first = errors_;
    form_->hide();
    form_->show();
    QCOMPARE(errors_.size(), first.size() + 1);
}

void TestFormEntry::showErrorGoesToCaller()
{
    open();
    QVERIFY(showWindow());
    QVERIFY(form_->close());
    dm_->IBDBCompetition.disconnect();
    cursors_.clear();
    QVERIFY_THROWS_EXCEPTION(std::exception, form_->FormShow(form_.get()));
    QCOMPARE(cursors_.back(), crDefault);
    QCOMPARE(errors_, QStringList());
}

void TestFormEntry::picture()
{
    std::vector<std::string> seed = FourArchers;
    const int points[] = {10, 9, 9, 8, 10, 7, 0, 9, 10, 6, 5, 9};
    for (int arrow = 1; arrow <= 12; ++arrow)
        seed.push_back(arrowRow(10, 1, arrow, points[arrow - 1], arrow == 5 ? "T" : "F"));
    open(seed);
    QVERIFY(showWindow());
    form_->fctvRange->expandAll();
    form_->fctvRange->setCurrentItem(form_->fctvRange->topLevelItem(0)->child(0));
    QCOMPARE(shownId(), QStringLiteral("10"));
    QCOMPARE(form_->SumEdit17->text(), QStringLiteral("92"));
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("points-entry.png"));
    // TALLYON_PICTURE_DIR keeps the picture for a look.
    if (const QByteArray keep = qgetenv("TALLYON_PICTURE_DIR"); !keep.isEmpty())
        path = QString::fromLocal8Bit(keep) + QStringLiteral("/points-entry.png");
    QVERIFY(RenderToPng(form_.get(), path));
}

QTEST_MAIN(TestFormEntry)
#include "tst_form_entry.moc"
