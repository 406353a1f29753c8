#pragma once
// The points entry window: one archer at a time, the archer's data in the top
// bar, the 60 arrows of two rounds with their sums, the lane tree on the
// left, and Prior and Next in the bottom bar.

#include "controls/uStandardGUIClasses.h"
#include "forms/archer_images.h"
#include "forms/lane_tree.h"
#include "journal/station_journal.h"
#include "model/uTallyonClasses.h"

#include <QFrame>
#include <QLabel>
#include <QList>
#include <QStringList>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>
#include <QWidget>

#include <deque>
#include <functional>
#include <memory>

class KeyPreview;
class TdmTallyon;

class TfrmVuRudiCompetition : public QWidget {
    Q_OBJECT
public:
    // A top-level window on the host's data context, which it does not own.
    explicit TfrmVuRudiCompetition(TdmTallyon* dm);
    ~TfrmVuRudiCompetition() override;

    TdmTallyon* dmHost = nullptr;

    // The controls, in the order the window creates them.
    QFrame* Panel1 = nullptr;
    QLabel *lblID = nullptr, *lblLane = nullptr, *lblName = nullptr, *lblBowType = nullptr;
    QLabel *lblCountry = nullptr, *lblSex = nullptr, *lblAgeClass = nullptr, *lblShootingClass = nullptr;
    QLabel *lblIDVal = nullptr, *lblLaneVal = nullptr, *lblNameVal = nullptr, *lblBowTypeVal = nullptr;
    QLabel *lblCountryVal = nullptr, *lblSexVal = nullptr, *lblAgeClassVal = nullptr, *lblShootingClassVal = nullptr;
    QPushButton* dxBtnFind = nullptr;
    QFrame* Panel2 = nullptr;
    QPushButton* dxBtnPrior = nullptr;
    QPushButton* dxBtnNext = nullptr;
    // Shown while the competition has no archer: where the archers come from.
    QLabel* lblNoArchers = nullptr;
    TRoundPanel* RoundPanel1 = nullptr;
    QLabel* lblRound1 = nullptr;
    TPointEdit *pe1 = nullptr, *pe2 = nullptr, *PointEdit3 = nullptr, *PointEdit4 = nullptr, *PointEdit5 = nullptr, *PointEdit6 = nullptr;
    TPointEdit *PointEdit7 = nullptr, *PointEdit8 = nullptr, *PointEdit9 = nullptr, *PointEdit10 = nullptr, *PointEdit11 = nullptr, *PointEdit12 = nullptr;
    TPointEdit *PointEdit13 = nullptr, *PointEdit14 = nullptr, *PointEdit15 = nullptr, *PointEdit16 = nullptr, *PointEdit17 = nullptr, *PointEdit18 = nullptr;
    TPointEdit *PointEdit19 = nullptr, *PointEdit20 = nullptr, *PointEdit21 = nullptr, *PointEdit22 = nullptr, *PointEdit23 = nullptr, *PointEdit24 = nullptr;
    TPointEdit *PointEdit25 = nullptr, *PointEdit26 = nullptr, *PointEdit27 = nullptr, *PointEdit28 = nullptr, *PointEdit29 = nullptr, *PointEdit30 = nullptr;
    TSumEdit *se1 = nullptr, *se2 = nullptr, *se3 = nullptr, *se4 = nullptr, *se5 = nullptr, *se6 = nullptr;
    TSumEdit *se7 = nullptr, *se8 = nullptr, *se9 = nullptr, *se10 = nullptr, *se11 = nullptr, *se12 = nullptr;
    TSumEdit *se13 = nullptr, *se14 = nullptr, *se15 = nullptr, *se16 = nullptr;
    TRoundPanel* RoundPanel2 = nullptr;
    QLabel* Label1 = nullptr;
    TPointEdit *PointEdit1 = nullptr, *PointEdit2 = nullptr, *PointEdit31 = nullptr, *PointEdit32 = nullptr, *PointEdit33 = nullptr, *PointEdit34 = nullptr;
    TPointEdit *PointEdit35 = nullptr, *PointEdit36 = nullptr, *PointEdit37 = nullptr, *PointEdit38 = nullptr, *PointEdit39 = nullptr, *PointEdit40 = nullptr;
    TPointEdit *PointEdit41 = nullptr, *PointEdit42 = nullptr, *PointEdit43 = nullptr, *PointEdit44 = nullptr, *PointEdit45 = nullptr, *PointEdit46 = nullptr;
    TPointEdit *PointEdit47 = nullptr, *PointEdit48 = nullptr, *PointEdit49 = nullptr, *PointEdit50 = nullptr, *PointEdit51 = nullptr, *PointEdit52 = nullptr;
    TPointEdit *PointEdit53 = nullptr, *PointEdit54 = nullptr, *PointEdit55 = nullptr, *PointEdit56 = nullptr, *PointEdit57 = nullptr, *PointEdit58 = nullptr;
    TSumEdit *SumEdit1 = nullptr, *SumEdit2 = nullptr, *SumEdit3 = nullptr, *SumEdit4 = nullptr, *SumEdit5 = nullptr, *SumEdit6 = nullptr;
    TSumEdit *SumEdit7 = nullptr, *SumEdit8 = nullptr, *SumEdit9 = nullptr, *SumEdit10 = nullptr, *SumEdit11 = nullptr, *SumEdit12 = nullptr;
    TSumEdit *SumEdit13 = nullptr, *SumEdit14 = nullptr, *SumEdit15 = nullptr, *SumEdit16 = nullptr, *SumEdit17 = nullptr;
    QTreeWidget* fctvRange = nullptr;
    TImageList* ilArchers = nullptr;

    // Every control and the image list, in creation order.
    QList<QObject*> Components;
    // The 60 arrow boxes in round, then arrow order; not owned.
    QList<TPointEdit*> PointEdits;
    // An arrow box has had a key other than Enter since the archer was loaded.
    bool Changed = false;
    // The archer on display, bound to the data context's archer and points
    // queries; one object for the window's life.
    std::unique_ptr<TArcher> CurrentArcher;

    // Shows the archer's data in the top bar and each stored arrow in the box
    // of its round and arrow; boxes without a stored arrow keep their text.
    void ShowArcher(const TArcher& Archer);
    // Copies each box into the arrow of its round and arrow, appending the
    // arrows that are missing. An unreadable box ends the copy with its error.
    void CopyEditsToPoints();
    void ClearEdits();
    // Rebuilds the lane tree from the archer query and leaves the query on
    // the displayed archer's row.
    void FillLaneTree();
    // For the end of a run asked for from outside (a signal), not a close:
    // stores the typed arrows of every box an arrow can score, leaving the
    // others as stored, and returns one line for each thing not stored
    // ("archer 3 (1C Name): round 1 arrow 4 holds "15", not stored").
    // Shows no message; empty when everything was stored or nothing typed.
    Q_INVOKABLE QStringList SaveWhatCanBeSaved() noexcept;

    // Writes each change of an arrow box's text to journal (a StationJournal,
    // not owned; it must outlive the window, or come back as null), and
    // clears an archer's records when a save of it commits. Arrows an
    // earlier run left unsaved are offered first, in one question: taken,
    // the window shows each of those archers in turn with the arrows typed
    // in (Changed set), each Next or Prior storing the archer on display by
    // the usual save and showing the next one; refused, the records are
    // moved into a file of their own, which a message names.
    Q_INVOKABLE void UseStationJournal(QObject* journal);
    // Archers left of those taken from the journal, still to be shown.
    std::size_t RecoveredArchersLeft() const { return recovering_.size(); }

    // Shows, in the boxes and the sums, the values another station stored
    // that the last save kept for arrows this operator left alone.
    void ShowStoredValuesKept();
    // Rebinds the window to another data context: the archer on display is
    // saved to its own competition first, as a move would, then the new
    // competition's first archer is shown. False when that save was refused
    // (the operator has been told): the window stays on its competition.
    bool SwitchDataContext(TdmTallyon* dm);

    // Event handlers.
    void FormCreate(QObject* Sender);
    void FormShow(QObject* Sender);
    // False keeps the window open.
    bool FormClose(QObject* Sender);
    void FormDestroy(QObject* Sender);
    // Sees every key pressed in the window before the focused control.
    void FormKeyDown(QObject* Sender, int Key, Qt::KeyboardModifiers Shift);
    void dxBtnFindClick(QObject* Sender);
    void dxBtnPriorClick(QObject* Sender);
    void dxBtnNextClick(QObject* Sender);
    void pe1Change(QObject* Sender);
    // Sees each character typed into an arrow box first; 0 drops it.
    void AllowOnlyArcheryValues(QObject* Sender, char16_t& Key);
    void fctvRangeChange(QObject* Sender, QTreeWidgetItem* Node);
    void fctvRangeClick(QObject* Sender);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createTopBar();
    void createBottomBar();
    void createRoundPanel(int round);
    void createLaneTree();
    void layoutBars();
    void wireEvents();
    void chainTabOrder();

    // Copies the boxes and saves them when anything was typed. False when
    // an arrow box holds a text no arrow can score or another station holds
    // the arrows: nothing was stored, the operator has been told, and the
    // caller stays on this archer.
    bool commitStep();
    // Tells the operator which boxes hold a text no arrow can score, and
    // puts the focus in the first of them; false when there is none.
    bool refuseImpossibleArrows();
    // Reads the archer query's current row with its arrows and shows it.
    void loadStep();
    // Reads CurrentArcher with its arrows (-1: the archer query's row).
    void readCurrentArcher(std::int32_t archerNo);
    // Saves the arrows that have a box; any others are left as stored.
    void saveArrowsWithBoxes();
    void moveArcher(bool forward);
    // Next or Prior from the archer query's row, passing over removed archers.
    void moveFromDisplayedArcher(bool forward);
    // Puts the archer query back on the displayed archer's row.
    void backToDisplayedRow() noexcept;
    // Hides the lane tree's nodes of archers another station removed.
    void hideRemovedArcherNodes();
    // The box of an arrow; null for a round or arrow outside the 60 boxes.
    TPointEdit* boxFor(std::int32_t round, std::int32_t arrow) const;
    // The displayed archer's arrow of a box, appended with the box's round
    // and arrow when the archer has none (appended is then set); entries
    // set aside (null) are passed over.
    TArcheryPoint& arrowOfBox(const TPointEdit& box, bool& appended);
    // The arrow takes a box's text: its points, a cross for "X", empty.
    static void takeBoxText(TArcheryPoint& arrow, const QString& text);
    // Arrow boxes are usable only while an archer read from the database is
    // on display; Prior and Next only while the archer query has rows.
    void setArcherLoaded(bool loaded);
    void showNoArcher();
    // Runs write, which sets many arrow boxes, with the sums held, then
    // works out the sums the changes reach once instead of once per box.
    void withSumsHeld(const std::function<void()>& write);

    // Widgets that keep their distance to the right edge of their bar.
    struct RightAnchor {
        QWidget* widget;
        int rightMargin;
    };
    QList<RightAnchor> rightAnchors_;
    std::unique_ptr<KeyPreview> keyPreview_;
    // The creation handler's error, shown once the window is on screen.
    QString creationError_;
    // CurrentArcher holds a row of the archer query (not cleared, not failed).
    bool archerLoaded_ = false;
    // Archers whose save found them removed by another station; the archer
    // query still holds their rows until it is read in a new transaction.
    QSet<std::int32_t> removedArchers_;
    // The station journal's seam: the box's new text, typed by the operator.
    void journalTypedArrow(const TPointEdit& box);
    // The offer of the arrows an earlier run left unsaved.
    void offerRecovery();
    // Shows the next archer taken from the journal with its arrows typed in.
    void showNextRecoveredArcher();
    // "archer 3 (1C Name)", read from the archer query, which comes back to
    // the displayed row; empty when the archer is not in the competition.
    QString archerCaption(std::int32_t id);

    StationJournal* journal_ = nullptr;
    bool journalFailureTold_ = false;
    std::deque<StationJournal::UnsavedArcher> recovering_;
    bool sumsHeld_ = false;
    QList<TSumEdit*> heldSums_;   // fed by arrows changed while held
};
