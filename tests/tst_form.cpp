// The points window's layout: its boxes, the sum tree they form, places,
// the Tab cycle, key preview, the key filter, and what it looks like.

#include "data/uTallyonData.h"
#include "forms/error_display.h"
#include "forms/points_layout.h"
#include "tests/support/competition.h"
#include "tests/support/typing.h"
#include "forms/uVuRudiCompetition.h"
#include "controls/window_picture.h"

#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

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
    void barsStretchAndButtonsFollowRightEdge();
    void tabCycle();
    void enterMovesAlongTabOrder();
    void arrowClimbsToGrandTotal_data();
    void arrowClimbsToGrandTotal();
    void grandTotalHasNoHandler();
    void impossibleTextIsMarkedAndLeftOut();
    void pageKeysPressButtonsOnce_data();
    void pageKeysPressButtonsOnce();
    void keyFilter_data();
    void keyFilter();
    void laneTreeImages();
    void laneTreeTipForEveryCutText();
    void laneTreeHasASunkenBorder();
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

void TestForm::impossibleTextIsMarkedAndLeftOut()
{
    const QColor normal = form_->pe2->palette().color(QPalette::Base);
    form_->pe1->setText(QStringLiteral("8"));
    QCOMPARE(form_->se1->text(), QStringLiteral("8"));
    form_->pe2->setText(QStringLiteral("9X")); // pasted text passes no key filter
    // No error box while typing: the sums leave the box out, the box is marked.
    QCOMPARE(errors_, QStringList());
    QCOMPARE(form_->se1->text(), QStringLiteral("8"));
    QCOMPARE(form_->pe2->text(), QStringLiteral("9X"));
    QCOMPARE(form_->SumEdit17->text(), QStringLiteral("8"));
    QCOMPARE(form_->pe2->palette().color(QPalette::Base), ImpossibleArrowColour);
    form_->pe2->setText(QStringLiteral("9"));
    QCOMPARE(form_->SumEdit17->text(), QStringLiteral("17"));
    QCOMPARE(form_->pe2->palette().color(QPalette::Base), normal);
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

void TestForm::laneTreeTipForEveryCutText()
{
    // Archer nodes whose texts grow a pixel at a time across the width the
    // tree has for them, one lane letter each.
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    form_->fctvRange->expandAll();
    const int nodeWidth = form_->fctvRange->visualItemRect(form_->fctvRange->topLevelItem(0)->child(0)).width();
    const QFontMetrics metrics(form_->fctvRange->font());
    const int aboutTheRoom = nodeWidth - 16 - 12; // the image and some margins
    std::vector<std::string> archers;
    for (int wanted = aboutTheRoom - 6; wanted <= aboutTheRoom + 6 && archers.size() < 13; ++wanted) {
        const std::string letter(1, char('A' + archers.size()));
        std::string found;
        for (int n = 0; n < 30 && found.empty(); ++n)
            for (int i = 0; i < 8 && found.empty(); ++i) {
                const std::string name = std::string(std::size_t(n), 'n') + std::string(std::size_t(i), 'i');
                if (metrics.horizontalAdvance(QString::fromStdString("2" + letter + " - " + name)) == wanted)
                    found = name;
            }
        if (!found.empty())
            archers.push_back("insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values ("
                              + std::to_string(100 + archers.size()) + ", '" + found + "', '2" + letter + "', 2, '"
                              + letter + "')");
    }
    const int count = int(archers.size());
    QVERIFY(count >= 8);
    form_.reset();
    dm_.reset();
    competition_->seed(archers);
    dm_ = competition_->connectContext();
    form_ = std::make_unique<TfrmVuRudiCompetition>(dm_.get());
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    QTreeWidget* tree = form_->fctvRange;
    tree->expandAll();
    QCOMPARE(tree->topLevelItemCount(), 2);
    QTreeWidgetItem* lane2 = tree->topLevelItem(1);
    QCOMPARE(lane2->childCount(), count);

    // A text is cut short where the tree draws it otherwise when told not to
    // cut texts.
    auto drawn = [tree](Qt::TextElideMode mode) {
        tree->setTextElideMode(mode);
        return tree->viewport()->grab().toImage();
    };
    const QImage shortened = drawn(Qt::ElideRight);
    const QImage whole = drawn(Qt::ElideNone);
    tree->setTextElideMode(Qt::ElideRight);
    int cut = 0;
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem* node = lane2->child(i);
        const QRect rect = tree->visualItemRect(node);
        QVERIFY(tree->viewport()->rect().contains(rect));
        const bool isCut = shortened.copy(rect) != whole.copy(rect);
        cut += isCut ? 1 : 0;
        QHelpEvent tip(QEvent::ToolTip, rect.center(), tree->viewport()->mapToGlobal(rect.center()));
        QApplication::sendEvent(tree->viewport(), &tip);
        if (isCut)
            QTRY_COMPARE(QToolTip::text(), node->text(0));
        else
            QTRY_VERIFY2(!QToolTip::isVisible(), qPrintable(node->text(0)));
    }
    QVERIFY2(cut > 0 && cut < count, qPrintable(QString::number(cut)));
}

void TestForm::laneTreeHasASunkenBorder()
{
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    const QImage image = form_->grab().toImage();
    const QRect tree = form_->fctvRange->geometry();
    const int middleY = tree.center().y();
    const int middleX = tree.center().x();
    // Shadow on the top and left edges, light on the bottom and right ones.
    QVERIFY(image.pixelColor(tree.left(), middleY).lightness() < image.pixelColor(tree.right(), middleY).lightness());
    QVERIFY(image.pixelColor(middleX, tree.top()).lightness() < image.pixelColor(middleX, tree.bottom()).lightness());
    QVERIFY(form_->fctvRange->frameWidth() >= 2);
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
