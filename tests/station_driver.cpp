// One scoring station for the station tests: the data context, the archer
// model and the points window as the host sets them up, offscreen, on the
// database given, played through commands on standard input, one a line.
//
//   station_driver DATABASE PASSWORD [LOCK_TIMEOUT_SECONDS [USER [STATION]]]
//
// The station keeps its journal as the host does (in $TALLYON_JOURNAL_DIR
// when set). A question of the window comes as "question TEXT" and waits
// for a line "yes" or "no".
//
//   goto ID          click the archer's node in the lane tree
//   type R A TEXT    type TEXT into the box of round R, arrow A, its old text
//                    selected first ("-" types nothing: only selects)
//   next | prior     Page Down | Page Up on the window
//   boxes            the 60 boxes' texts
//   close            close the window (it saves) and end when it hides
//
// Each command answers one line: "shown ID" (the archer on display after
// goto, next and prior, as the window's ID shows it), "typed", "boxes ID T1,...,T60" ("" for an empty
// box), "closed", "open" (the window refused to close), "bad COMMAND".
// Whatever the window shows the operator comes before it, one line each:
// "message TEXT" (a message box), "error TEXT" (the error display), with
// line breaks as " | ". The end of the input closes the window.

#include "data/uTallyonData.h"
#include "db/error.h"
#include "forms/error_display.h"
#include "forms/question_display.h"
#include "forms/uVuRudiCompetition.h"
#include "host/station_context.h"
#include "journal/station_journal.h"
#include "model/message_seam.h"

#include <QApplication>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

void say(const QString& line)
{
    std::fputs((line + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

QString oneLine(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String(" | ")).replace(u'\n', QLatin1String(" | "));
}

class Station {
public:
    explicit Station(TdmTallyon& dm) : window_(&dm) {}

    bool open()
    {
        window_.show();
        return QTest::qWaitForWindowActive(&window_);
    }

    bool visible() const { return window_.isVisible(); }
    void useJournal(StationJournal* journal) { window_.UseStationJournal(journal); }
    ~Station() { window_.UseStationJournal(nullptr); }

    void run(const QString& line)
    {
        const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
        const QString command = words.value(0);
        bool ok = true;
        if (command == QLatin1String("goto") && words.size() == 2) {
            ok = clickArcher(words[1]);
            if (ok)
                shown();
        } else if (command == QLatin1String("type") && words.size() == 4) {
            ok = type(words[1].toInt(), words[2].toInt(), words[3]);
            if (ok)
                say(QStringLiteral("typed"));
        } else if ((command == QLatin1String("next") || command == QLatin1String("prior")) && words.size() == 1) {
            QTest::keyClick(&window_, command == QLatin1String("next") ? Qt::Key_PageDown : Qt::Key_PageUp);
            shown();
        } else if (command == QLatin1String("boxes") && words.size() == 1) {
            QStringList texts;
            for (const TPointEdit* box : window_.PointEdits)
                texts << box->text();
            say(QStringLiteral("boxes %1 %2").arg(window_.CurrentArcher->ID).arg(texts.join(u',')));
        } else if (command == QLatin1String("close") && words.size() == 1) {
            window_.close();
            say(window_.isVisible() ? QStringLiteral("open") : QStringLiteral("closed"));
        } else {
            ok = false;
        }
        if (!ok)
            say(QStringLiteral("bad ") + line);
    }

private:
    // What the operator reads on screen.
    void shown() { say(QStringLiteral("shown %1").arg(window_.lblIDVal->text())); }

    bool clickArcher(const QString& id)
    {
        QTreeWidget* tree = window_.fctvRange;
        for (int lane = 0; lane < tree->topLevelItemCount(); ++lane) {
            QTreeWidgetItem* laneNode = tree->topLevelItem(lane);
            for (int i = 0; i < laneNode->childCount(); ++i) {
                QTreeWidgetItem* node = laneNode->child(i);
                if (node->data(0, NodeDataRole).toString() != id)
                    continue;
                tree->scrollToItem(node);
                const QPoint at = tree->visualItemRect(node).center();
                QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
                return true;
            }
        }
        return false;
    }

    bool type(int round, int arrow, const QString& text)
    {
        const int index = (round - 1) * 30 + arrow - 1;
        if (round < 1 || round > 2 || arrow < 1 || arrow > 30 || index >= window_.PointEdits.size())
            return false;
        TPointEdit* box = window_.PointEdits[index];
        box->setFocus(Qt::OtherFocusReason);
        box->selectAll();
        if (text != QLatin1String("-"))
            QTest::keyClicks(box, text);
        return true;
    }

    TfrmVuRudiCompetition window_;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs("usage: station_driver DATABASE PASSWORD [LOCK_TIMEOUT_SECONDS]\n", stderr);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    SetMessageHandler([](const std::string& text) { say("message " + oneLine(QString::fromLatin1(text))); });
    SetErrorHandler([](const QString& text) { say("error " + oneLine(text)); });
    SetQuestionHandler([](const QString& text) {
        say("question " + oneLine(text));
        std::string answer;
        return std::getline(std::cin, answer) && QString::fromStdString(answer).trimmed() == QLatin1String("yes");
    });

    CompetitionLogin login;
    login.database = argv[1];
    login.password = argv[2];
    if (argc > 4)
        login.user = argv[4];
    const std::chrono::seconds lockTimeout(argc > 3 ? std::atoi(argv[3]) : kStationLockTimeout.count());
    std::string stationName = argc > 5 ? argv[5] : DefaultStationName();
    // Journal and name as the host chooses them for a window of its own.
    const std::unique_ptr<StationJournal> journal = OpenStationJournal(login, stationName, argc > 5);

    // The data context as the host program sets it up.
    TdmTallyon dm;
    SetUpStationContext(dm, login, lockTimeout, stationName);
    try {
        dm.Connect(login);
    } catch (const std::exception& e) {
        say("error " + oneLine(QString::fromLatin1(e.what())));
        return 1;
    }

    Station station(dm);
    if (!station.open()) {
        say(QStringLiteral("error the window did not open"));
        return 1;
    }
    station.useJournal(journal.get());
    station.run(QStringLiteral("boxes"));

    std::string line;
    while (std::getline(std::cin, line)) {
        QCoreApplication::processEvents();
        station.run(QString::fromStdString(line).trimmed());
        QCoreApplication::processEvents();
        if (!station.visible())
            return 0;
    }
    station.run(QStringLiteral("close"));
    return station.visible() ? 1 : 0;
}
