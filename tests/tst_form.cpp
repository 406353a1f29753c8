// The points window's layout: its boxes, the sum tree they form, places,
// the Tab cycle, key preview, the key filter, and what it looks like.

#include "data/uTallyonData.h"
#include "forms/error_display.h"
#include "forms/points_layout.h"
#include "tests/support/competition.h"
#include "tests/support/typing.h"
#include "forms/uVuRudiCompetition.h"
#include "forms/window_picture.h"

#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QStringList namesOf(const QList<QLineEdit*>& boxes)
{
    QStringList names;
    for (const QLineEdit* box : boxes)
        names << box->objectName();
    return names;
}

} // namespace

class TestForm : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void arrowBoxesByName();
    void sumBoxesAddTheirTable();
    void pointEditsInRoundThenArrowOrder();
    void placesAndSizes_data();
    void placesAndSizes();
    void barsStretchAndButtonsFollowRightEdge();
    void tabCycle();
    void enterMovesAlongTabOrder();
    void arrowClimbsToGrandTotal_data();
    void arrowClimbsToGrandTotal();
    void grandTotalHasNoHandler();
    void unreadableTextShowsErrorAndKeepsSum();
    void pageKeysPressButtonsOnce_data();
    void pageKeysPressButtonsOnce();
    void keyFilter_data();
    void keyFilter();
    void laneTreeImages();
    void longValueStopsBeforeNextCaption();
    void picture();

private:
    QWidget* showAndFocus(QWidget* target);

    std::unique_ptr<TestCompetition> competition_;
    std::unique_ptr<TdmTallyon> dm_;
    std::unique_ptr<TfrmVuRudiCompetition> form_;
    QStringList errors_;
};

void TestForm::init()
{
    errors_.clear();
    SetErrorHandler([this](const QString& message) { errors_ << message; });
    // One archer without arrows, so that the arrow boxes take keys.
    competition_ = std::make_unique<TestCompetition>();
    competition_->seed({
        "insert into COUNTRY (COUNTRYNUMBER, NAME) values (1, 'Somewhere')",
        "insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, LANENO, LANELETTER)"
        " values (1, 1, 'A. Archer with a long name', '1A', 1, 'A')",
    });
    dm_ = competition_->connectContext();
    form_ = std::make_unique<TfrmVuRudiCompetition>(dm_.get());
    QCOMPARE(errors_, QStringList());
}

void TestForm::cleanup()
{
    form_.reset();
    dm_.reset();
    competition_.reset();
    SetErrorHandler({});
}

QWidget* TestForm::showAndFocus(QWidget* target)
{
    form_->show();
    if (!QTest::qWaitForWindowActive(form_.get()))
        return nullptr;
    target->setFocus(Qt::OtherFocusReason);
    return QApplication::focusWidget();
}

void TestForm::arrowBoxesByName()
{
    const TRoundPanel* panels[] = {form_->RoundPanel1, form_->RoundPanel2};
    QCOMPARE(form_->findChildren<TPointEdit*>().size(), 60);
    for (int round = 1; round <= 2; ++round) {
        for (int arrow = 1; arrow <= 30; ++arrow) {
            const QString name = ArrowBoxName(round, arrow);
            auto* box = form_->findChild<TPointEdit*>(name);
            QVERIFY2(box, qPrintable(name));
            QCOMPARE(box->parent(), panels[round - 1]);
            QCOMPARE(box->RoundNo, round);
            QCOMPARE(box->ArrowNo, arrow);
            QCOMPARE(box->ChangedByUser, false);
            QVERIFY(box->text().isEmpty());
            QVERIFY2(box->sumEdit, qPrintable(name));
            QCOMPARE(box->sumEdit->objectName(), SumBoxName(round, (arrow + 2) / 3));
        }
    }
    // The public members are the named boxes.
    QCOMPARE(form_->pe1->objectName(), QStringLiteral("pe1"));
    QCOMPARE(form_->PointEdit30->objectName(), QStringLiteral("PointEdit30"));
    QCOMPARE(form_->PointEdit1->RoundNo, 2);
    QCOMPARE(form_->PointEdit58->ArrowNo, 30);
}

void TestForm::sumBoxesAddTheirTable()
{
    QCOMPARE(form_->findChildren<TSumEdit*>().size(), 33);
    for (int round = 1; round <= 2; ++round) {
        auto sum = [&](int k) { return form_->findChild<TSumEdit*>(SumBoxName(round, k)); };
        for (int end = 1; end <= 10; ++end) {
            QVERIFY(sum(end));
            QCOMPARE(namesOf(sum(end)->sumOfList),
                     QStringList({ArrowBoxName(round, 3 * end - 2), ArrowBoxName(round, 3 * end - 1), ArrowBoxName(round, 3 * end)}));
            QCOMPARE(sum(end)->sumEdit, sum(10 + (end + 1) / 2));
        }
        for (int pair = 1; pair <= 5; ++pair) {
            QCOMPARE(namesOf(sum(10 + pair)->sumOfList), QStringList({SumBoxName(round, 2 * pair - 1), SumBoxName(round, 2 * pair)}));
            QCOMPARE(sum(10 + pair)->sumEdit, sum(16));
        }
        QCOMPARE(namesOf(sum(16)->sumOfList),
                 QStringList({SumBoxName(round, 11), SumBoxName(round, 12), SumBoxName(round, 13), SumBoxName(round, 14), SumBoxName(round, 15)}));
        QCOMPARE(sum(16)->sumEdit, form_->SumEdit17);
        for (int k = 1; k <= 16; ++k) {
            QVERIFY(sum(k)->isReadOnly());
            QVERIFY(!(sum(k)->focusPolicy() & Qt::TabFocus));
            QVERIFY(sum(k)->text().isEmpty());
        }
    }
    QCOMPARE(namesOf(form_->SumEdit17->sumOfList), QStringList({"se16", "SumEdit16"}));
    QCOMPARE(form_->SumEdit17->sumEdit, nullptr);
    QVERIFY(!form_->findChild<TSumEdit*>(QStringLiteral("se17")));
}

void TestForm::pointEditsInRoundThenArrowOrder()
{
    QCOMPARE(form_->PointEdits.size(), 60);
    for (int i = 0; i < 60; ++i) {
        QCOMPARE(form_->PointEdits.at(i)->RoundNo, i / 30 + 1);
        QCOMPARE(form_->PointEdits.at(i)->ArrowNo, i % 30 + 1);
    }
    QCOMPARE(form_->Changed, false);
}

void TestForm::placesAndSizes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");

    QTest::newRow("Panel2") << "Panel2" << "frmVuRudiCompetition" << QRect(0, 433, 688, 41);
    QTest::newRow("RoundPanel2") << "RoundPanel2" << "frmVuRudiCompetition" << QRect(425, 48, 225, 369);
    QTest::newRow("fctvRange") << "fctvRange" << "frmVuRudiCompetition" << QRect(8, 48, 185, 369);
    QTest::newRow("dxBtnFind") << "dxBtnFind" << "Panel1" << QRect(640, 8, 41, 21);
    QTest::newRow("dxBtnNext") << "dxBtnNext" << "Panel2" << QRect(584, 8, 73, 21);
    QTest::newRow("pe1") << "pe1" << "RoundPanel1" << QRect(8, 24, 30, 21);
    QTest::newRow("round 1 arrow 17") << "PointEdit17" << "RoundPanel1" << QRect(53, 161, 30, 21);
    QTest::newRow("round 2 arrow 30") << "PointEdit58" << "RoundPanel2" << QRect(108, 272, 30, 21);
    QTest::newRow("round 2 arrow 14") << "PointEdit42" << "RoundPanel2" << QRect(58, 134, 30, 21);
    QTest::newRow("end 1 of round 2") << "SumEdit1" << "RoundPanel2" << QRect(152, 24, 30, 21);
    QTest::newRow("end 7 of round 1") << "se7" << "RoundPanel1" << QRect(144, 189, 30, 21);
    QTest::newRow("ends 9 and 10") << "se15" << "RoundPanel1" << QRect(176, 272, 30, 21);
    QTest::newRow("ends 1 and 2") << "SumEdit11" << "RoundPanel2" << QRect(184, 51, 30, 21);
    QTest::newRow("round 1") << "se16" << "RoundPanel1" << QRect(176, 304, 30, 21);
    QTest::newRow("grand total") << "SumEdit17" << "RoundPanel2" << QRect(184, 336, 30, 21);
}

void TestForm::placesAndSizes()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    auto* widget = form_->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(widget->geometry(), geometry);
}

void TestForm::barsStretchAndButtonsFollowRightEdge()
{
    QCOMPARE(form_->windowTitle(), QStringLiteral("Vozoze Vove"));
    QCOMPARE(form_->size(), QSize(688, 474));
    QCOMPARE(form_->palette().color(QPalette::Window), QColor(0x7E, 0xA7, 0xE4));
    QCOMPARE(form_->lblShootingClassVal->pos(), QPoint(534, 24));
    QCOMPARE(form_->lblShootingClassVal->height(), 13);
    QVERIFY(form_->lblShootingClass->font().bold());
    QVERIFY(!form_->lblShootingClassVal->font().bold());

    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    form_->resize(800, 600);
    QCOMPARE(form_->Panel1->geometry(), QRect(0, 0, 800, 41));
    QCOMPARE(form_->Panel2->geometry(), QRect(0, 559, 800, 41));
    QCOMPARE(form_->dxBtnPrior->pos(), QPoint(488 + 112, 8));
    QCOMPARE(form_->dxBtnNext->pos(), QPoint(584 + 112, 8));
    QCOMPARE(form_->dxBtnFind->pos(), QPoint(640 + 112, 8));
    QCOMPARE(form_->RoundPanel2->geometry(), QRect(425, 48, 225, 369));
    QCOMPARE(form_->fctvRange->geometry(), QRect(8, 48, 185, 369));

    form_->resize(300, 200);
    QVERIFY(form_->width() >= 688);
    QVERIFY(form_->height() >= 453);
}

void TestForm::tabCycle()
{
    QVERIFY(showAndFocus(form_->dxBtnPrior) == form_->dxBtnPrior);
    QList<QWidget*> expected{form_->dxBtnNext};
    for (TPointEdit* box : std::as_const(form_->PointEdits))
        expected << box;
    expected << form_->fctvRange << form_->dxBtnPrior;
    for (QWidget* next : std::as_const(expected)) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), next->objectName());
    }
    // Backwards from Prior comes the tree.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), form_->fctvRange);
}

void TestForm::enterMovesAlongTabOrder()
{
    QVERIFY(showAndFocus(form_->PointEdit30) == form_->PointEdit30);
    QTest::keyClick(form_->PointEdit30, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), form_->PointEdit1);
    QVERIFY(form_->PointEdit30->text().isEmpty());
    QCOMPARE(form_->Changed, false);
    form_->PointEdit58->setFocus();
    QTest::keyClick(form_->PointEdit58, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(QApplication::focusWidget(), form_->fctvRange);
}

void TestForm::arrowClimbsToGrandTotal_data()
{
    QTest::addColumn<QString>("arrow");
    QTest::addColumn<QStringList>("sums"); // end, two ends, round: each shows the arrow
    QTest::newRow("round 1 arrow 4") << "PointEdit4" << QStringList({"se2", "se11", "se16"});
    QTest::newRow("round 1 arrow 30") << "PointEdit30" << QStringList({"se10", "se15", "se16"});
    QTest::newRow("round 2 arrow 1") << "PointEdit1" << QStringList({"SumEdit1", "SumEdit11", "SumEdit16"});
    QTest::newRow("round 2 arrow 18") << "PointEdit46" << QStringList({"SumEdit6", "SumEdit13", "SumEdit16"});
}

void TestForm::arrowClimbsToGrandTotal()
{
    QFETCH(QString, arrow);
    QFETCH(QStringList, sums);
    auto* box = form_->findChild<TPointEdit*>(arrow);
    QVERIFY(showAndFocus(box) == box);
    QTest::keyClick(box, Qt::Key_9);
    QCOMPARE(box->text(), QStringLiteral("9"));
    for (const QString& sum : std::as_const(sums))
        QCOMPARE(form_->findChild<TSumEdit*>(sum)->text(), QStringLiteral("9"));
    QCOMPARE(form_->SumEdit17->text(), QStringLiteral("9"));
    // The other round was never calculated.
    const bool round1 = box->RoundNo == 1;
    QVERIFY((round1 ? form_->SumEdit16 : form_->se16)->text().isEmpty());
    QVERIFY(errors_.isEmpty());

    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(form_->SumEdit17->text(), QStringLiteral("0"));
}

void TestForm::grandTotalHasNoHandler()
{
    // Were a handler wired to the total, a link above it would be followed.
    auto* above = new TSumEdit(form_->RoundPanel2);
    above->sumOfList.append(form_->SumEdit17);
    form_->SumEdit17->sumEdit = above;
    form_->se1->setText(QStringLiteral("5")); // se1 feeds se11, se16, the total
    QCOMPARE(form_->SumEdit17->text(), QStringLiteral("5"));
    QVERIFY(above->text().isEmpty());
    // The round sums do climb.
    above->sumOfList.clear();
    form_->SumEdit17->sumEdit = nullptr;
    form_->SumEdit16->setText(QStringLiteral("3"));
    QCOMPARE(form_->SumEdit17->text(), QStringLiteral("8"));
}

void TestForm::unreadableTextShowsErrorAndKeepsSum()
{
    form_->pe1->setText(QStringLiteral("8"));
    QCOMPARE(form_->se1->text(), QStringLiteral("8"));
    form_->pe2->setText(QStringLiteral("9X")); // pasted text passes no key filter
    QCOMPARE(errors_, QStringList({"'9X' is not a valid integer value"}));
    QCOMPARE(form_->se1->text(), QStringLiteral("8"));
    QCOMPARE(form_->pe2->text(), QStringLiteral("9X"));
    QCOMPARE(form_->SumEdit17->text(), QStringLiteral("8"));
}

void TestForm::pageKeysPressButtonsOnce_data()
{
    QTest::addColumn<QString>("focus");
    QTest::newRow("arrow box") << "PointEdit17";
    QTest::newRow("Next button") << "dxBtnNext";
    QTest::newRow("lane tree") << "fctvRange";
}

void TestForm::pageKeysPressButtonsOnce()
{
    QFETCH(QString, focus);
    auto* target = form_->findChild<QWidget*>(focus);
    QVERIFY(showAndFocus(target) == target);
    QSignalSpy next(form_->dxBtnNext, &QPushButton::clicked);
    QSignalSpy prior(form_->dxBtnPrior, &QPushButton::clicked);
    QTest::keyClick(target, Qt::Key_PageDown);
    QCOMPARE(next.count(), 1);
    QCOMPARE(prior.count(), 0);
    QTest::keyClick(target, Qt::Key_PageUp, Qt::ShiftModifier);
    QCOMPARE(next.count(), 1);
    QCOMPARE(prior.count(), 1);
    QTest::keyClick(target, Qt::Key_PageUp);
    QCOMPARE(prior.count(), 2);
}

void TestForm::keyFilter_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("selectAll");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("after");

    QTest::newRow("1 then 0 is 10") << "" << false << "10" << "10";
    QTest::newRow("1 then 5 dropped") << "" << false << "15" << "1";
    QTest::newRow("1 then X dropped") << "" << false << "1X" << "1";
    QTest::newRow("1 then M dropped") << "" << false << "1M" << "1";
    QTest::newRow("letters of a miss") << "" << false << "m" << "m";
    QTest::newRow("cross in lower case") << "" << false << "x" << "x";
    QTest::newRow("other letters dropped") << "" << false << "a-+ " << "";
    QTest::newRow("after 7 nothing") << "7" << false << "0X" << "7";
    QTest::newRow("after X nothing") << "X" << false << "1" << "X";
    QTest::newRow("after 10 nothing") << "10" << false << "0" << "10";
    QTest::newRow("backspace after 10") << "10" << false << "\b" << "1";
    QTest::newRow("selection replaced") << "10" << true << "9" << "9";
    QTest::newRow("selection keeps out letters") << "10" << true << "q" << "10";
}

void TestForm::keyFilter()
{
    QFETCH(QString, before);
    QFETCH(bool, selectAll);
    QFETCH(QString, keys);
    QFETCH(QString, after);
    TPointEdit* box = form_->PointEdit5;
    QVERIFY(showAndFocus(box) == box);
    box->setText(before);
    if (selectAll)
        box->selectAll();
    else
        box->end(false);
    typeKeys(box, keys);
    QCOMPARE(box->text(), after);
    // Every key but Enter marks the archer changed, dropped or not.
    QVERIFY(form_->Changed);
    QVERIFY(box->ChangedByUser);
    QVERIFY(!form_->PointEdit6->ChangedByUser);
}

void TestForm::laneTreeImages()
{
    QCOMPARE(form_->ilArchers->Count(), 2);
    for (int i = 0; i < 2; ++i) {
        const QImage image = form_->ilArchers->Image(i).toImage();
        QCOMPARE(image.size(), QSize(16, 16));
        QVERIFY(image.hasAlphaChannel());
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0); // a transparent corner
        QVERIFY(qAlpha(image.pixel(8, 8)) > 0);  // a drawn middle
    }
    QCOMPARE(form_->fctvRange->indentation(), 19);
    QCOMPARE(form_->fctvRange->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void TestForm::longValueStopsBeforeNextCaption()
{
    // The archer's name runs past the Country caption: it is cut short there.
    QVERIFY(form_->lblNameVal->geometry().right() < form_->lblCountry->x());
    QVERIFY(form_->lblNameVal->text().startsWith(QStringLiteral("A. Archer")));
    QCOMPARE(form_->lblNameVal->toolTip(), QStringLiteral("A. Archer with a long name"));
    QCOMPARE(form_->lblCountryVal->text(), QStringLiteral("Somewhere"));
    QCOMPARE(form_->lblCountryVal->toolTip(), QString());
}

void TestForm::picture()
{
    // A few arrows and the lane with its archer, to see them drawn.
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    form_->pe1->setText(QStringLiteral("X"));
    form_->pe2->setText(QStringLiteral("10"));
    form_->PointEdit3->setText(QStringLiteral("M"));
    form_->PointEdit1->setText(QStringLiteral("9"));
    QCOMPARE(form_->fctvRange->topLevelItemCount(), 1);
    form_->fctvRange->topLevelItem(0)->setExpanded(true);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("points-window.png"));
    // TALLYON_PICTURE_DIR keeps the picture for a look.
    if (const QByteArray keep = qgetenv("TALLYON_PICTURE_DIR"); !keep.isEmpty()) {
        const QString keepDir = QString::fromLocal8Bit(keep);
        path = keepDir + QStringLiteral("/points-window.png");
        for (int i = 0; i < form_->ilArchers->Count(); ++i)
            form_->ilArchers->Image(i).scaled(128, 128).save(keepDir + QStringLiteral("/image%1.png").arg(i));
    }
    QVERIFY(RenderToPng(form_.get(), path));
    const QImage image(path);
    QCOMPARE(image.size() / image.devicePixelRatio(), QSize(688, 474));
    // The window's light blue between the tree and round 1.
    QCOMPARE(QColor(image.pixel(196, 200)), QColor(0x7E, 0xA7, 0xE4));
    QCOMPARE(form_->SumEdit17->text(), QStringLiteral("29"));
    // Round 1's grand total place is empty; round 2's holds a sum box.
    QVERIFY(QColor(image.pixel(200 + 176 + 15, 48 + 336 + 10)) == QColor(0x7E, 0xA7, 0xE4));
    QVERIFY(QColor(image.pixel(425 + 184 + 15, 48 + 336 + 10)) != QColor(0x7E, 0xA7, 0xE4));
    // Sum boxes in the tool-tip colour, arrow boxes in the edit colour.
    QCOMPARE(QColor(image.pixel(200 + 176 + 26, 48 + 51 + 4)), form_->se11->palette().color(QPalette::ToolTipBase));
    QCOMPARE(QColor(image.pixel(200 + 8 + 26, 48 + 24 + 4)), form_->pe1->palette().color(QPalette::Base));
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
