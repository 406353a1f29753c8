// One competition file on one laptop: two points windows (each a
// station_driver process of its own) save into the same embedded file
// without losing an arrow, the other commands run beside them, and a save in
// one process reaches a listener in another.

#include "tests/support/competition.h"

#include "db/connection.h"
#include "results/points_events.h"
#include "results/results_schema.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <stdexcept>
#include <string>

namespace {

constexpr int kAnswerMs = 60000;

// A points window in a process of its own, driven line by line.
class Window {
public:
    explicit Window(const CompetitionLogin& login)
    {
        process_.start(QStringLiteral(STATION_DRIVER),
                       {QString::fromStdString(login.database), QString::fromStdString(login.password)});
        if (!answer().startsWith(QLatin1String("boxes ")))
            throw std::runtime_error("the window did not open" + errors());
    }
    ~Window()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    QString ask(const QString& line)
    {
        process_.write((line + u'\n').toUtf8());
        return answer();
    }
    void type(int round, int arrow, const QString& text)
    {
        if (ask(QStringLiteral("type %1 %2 %3").arg(round).arg(arrow).arg(text)) != QLatin1String("typed"))
            throw std::runtime_error("typing refused");
    }
    bool close()
    {
        return ask(QStringLiteral("close")) == QLatin1String("closed") && process_.waitForFinished(10000)
               && process_.exitCode() == 0;
    }
    QStringList messages;

private:
    QString answer()
    {
        const QDeadlineTimer deadline(kAnswerMs);
        for (;;) {
            while (process_.canReadLine()) {
                const QString line = QString::fromUtf8(process_.readLine()).trimmed();
                if (line.startsWith(QLatin1String("message ")) || line.startsWith(QLatin1String("error ")))
                    messages << line;
                else
                    return line;
            }
            if (process_.state() == QProcess::NotRunning || deadline.hasExpired())
                throw std::runtime_error("the window gave no answer" + errors());
            process_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
    }
    std::string errors() { return ": " + process_.readAllStandardError().toStdString(); }

    QProcess process_;
};

struct Run {
    int exitCode = -1;
    QString err;
};

Run tallyon(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(TALLYON_EXE), args);
    Run r;
    if (p.waitForFinished(kAnswerMs)) {
        r.exitCode = p.exitCode();
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
    }
    return r;
}

std::vector<std::string> fourArchers()
{
    std::vector<std::string> sql;
    for (int id = 1; id <= 4; ++id)
        sql.push_back("insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (" + std::to_string(id)
                      + ", 'Archer " + std::to_string(id) + "', '" + std::to_string(id) + "A', " + std::to_string(id)
                      + ", 'A')");
    return sql;
}

} // namespace

class TestOneFile : public QObject {
    Q_OBJECT

    QTemporaryDir journals_;   // the windows' journals, shared as on one laptop

private slots:
    void initTestCase() { qputenv("TALLYON_JOURNAL_DIR", journals_.path().toLocal8Bit()); }

    // Two operators on one file: one enters round 1 and the other round 2 of
    // the same archer, and each an archer of its own; every arrow lands. The
    // second window keeps a journal of its own without being told a name.
    // Meanwhile the results, the archer list and the CSV export run on the
    // file, and a listener in this process hears the windows' saves.
    void twoWindowsAndTheCommandsShareOneFile()
    {
        TestCompetition c;
        c.seed(fourArchers());
        db::Connection listening;
        c.attach(listening);
        ensurePointsSavedTrigger(listening);
        PointsSavedListener listener(listening);
        QSignalSpy saved(&listener, &PointsSavedListener::pointsSaved);

        Window first(c.login);
        Window second(c.login);
        QCOMPARE(first.ask(QStringLiteral("goto 2")), QStringLiteral("shown 2"));
        QCOMPARE(second.ask(QStringLiteral("goto 2")), QStringLiteral("shown 2"));
        for (int arrow = 1; arrow <= 30; ++arrow) {
            first.type(1, arrow, QString::number(arrow % 10 + 1));
            second.type(2, arrow, arrow % 3 == 0 ? QStringLiteral("X") : QStringLiteral("9"));
        }
        QCOMPARE(first.ask(QStringLiteral("next")), QStringLiteral("shown 3"));
        QCOMPARE(second.ask(QStringLiteral("goto 4")), QStringLiteral("shown 4"));
        QTRY_VERIFY_WITH_TIMEOUT(saved.count() >= 1, 10000);
        first.type(1, 1, QStringLiteral("7"));
        second.type(1, 1, QStringLiteral("8"));

        // The other commands on the same file while both windows are open.
        const QString out = c.file(QStringLiteral("out.csv"));
        for (const QStringList& args : {QStringList{QStringLiteral("results"), c.path()},
                                        QStringList{QStringLiteral("archers"), c.path()},
                                        QStringList{QStringLiteral("export"), c.path(), QStringLiteral("--csv"), out}}) {
            const Run r = tallyon(args);
            QVERIFY2(r.exitCode == 0, qPrintable(args.first() + QStringLiteral(": ") + r.err));
        }

        QCOMPARE(QDir(journals_.path()).entryList({QStringLiteral("*.journal")}).size(), 2);
        QVERIFY(first.close());
        QVERIFY(second.close());
        QVERIFY2(first.messages.isEmpty(), qPrintable(first.messages.join(QLatin1Char('\n'))));
        QVERIFY2(second.messages.isEmpty(), qPrintable(second.messages.join(QLatin1Char('\n'))));

        QCOMPARE(c.count("select count(*) from POINTS where ARCHERID = 2 and EMPTYSCORE = 'F'"), 60);
        QCOMPARE(c.count("select sum(POINT) from POINTS where ARCHERID = 2 and ROUNDNO = 1"), 165);
        QCOMPARE(c.count("select count(*) from POINTS where ARCHERID = 2 and ROUNDNO = 2 and \"CROSS\" = 'T'"), 10);
        QCOMPARE(c.count("select sum(POINT) from POINTS where ARCHERID = 3 and EMPTYSCORE = 'F'"), 7);
        QCOMPARE(c.count("select sum(POINT) from POINTS where ARCHERID = 4 and EMPTYSCORE = 'F'"), 8);
        listening.disconnect();
    }
};

QTEST_MAIN(TestOneFile)
#include "tst_one_file.moc"
