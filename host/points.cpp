#include "host/points.h"

#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "data/competition_io.h"
#include "controls/window_picture.h"
#include "core/command_error.h"
#include "host/station_context.h"
#include "data/points_history.h"
#include "journal/station_journal.h"
#include "module/VozozeVove.h"
#include "sharedheap/shared_heap.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QMessageBox>
#include <QMetaObject>
#include <QScopeGuard>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QWidget>

#if !defined(_WIN32)
#  include <QSocketNotifier>
#  include <signal.h>
#  include <unistd.h>
#endif
#if defined(__linux__)
#  include <pthread.h>
#  include <sys/signalfd.h>
#endif

#include <cstdlib>
#include <iostream>
#include <memory>

namespace {

// A display to show the window on: X11, Wayland, or a platform chosen by
// name that needs neither (offscreen, vnc, a frame buffer).
bool haveDisplay()
{
    const auto set = [](const char* name) { return !qEnvironmentVariableIsEmpty(name); };
    if (set("DISPLAY") || set("WAYLAND_DISPLAY"))
        return true;
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    return !platform.isEmpty() && !platform.startsWith(QLatin1String("xcb"))
        && !platform.startsWith(QLatin1String("wayland"));
}

// Loads a library of ours by path, with every symbol resolved at once; it
// stays loaded until the process ends (QLibrary never unloads by itself, and
// the module's window and the archers it put into the data context live that
// long). global: its symbols serve the libraries loaded after it.
QLibrary& loadLibrary(QLibrary& library, const QString& path, const char* what, bool global)
{
    if (!QFileInfo::exists(path))
        throw CommandError(std::string(what) + " " + QDir::toNativeSeparators(path).toStdString() + " is missing");
    library.setFileName(path);
    QLibrary::LoadHints hints = QLibrary::ResolveAllSymbolsHint;
    if (global)
        hints |= QLibrary::ExportExternalSymbolsHint;
    library.setLoadHints(hints);
    if (!library.load())
        throw CommandError(std::string("cannot load ") + what + ": " + library.errorString().toStdString());
    return library;
}

QFunctionPointer entryPoint(QLibrary& library, const char* name)
{
    const QFunctionPointer proc = library.resolve(name);
    if (!proc)
        throw CommandError("the library " + library.fileName().toStdString() + " has no entry point " + name);
    return proc;
}

// The shared heap's string functions, taken from the library the host
// loads before the module, as the module expects.
struct SharedHeap {
    decltype(&SharedStringNew) newString = nullptr;
    decltype(&SharedStringRelease) release = nullptr;
};

SharedHeap loadSharedHeap(const QString& path)
{
    QLibrary library;
    loadLibrary(library, path, "the shared heap", true);
    SharedHeap heap;
    heap.newString = reinterpret_cast<decltype(&SharedStringNew)>(entryPoint(library, "SharedStringNew"));
    heap.release = reinterpret_cast<decltype(&SharedStringRelease)>(entryPoint(library, "SharedStringRelease"));
    return heap;
}

// One text on the shared heap, released when it goes.
class HeapText {
public:
    HeapText(const SharedHeap& heap, const std::string& text)
        : heap_(heap), s_(heap.newString(text.data(), text.size())) {}
    ~HeapText() { heap_.release(s_); }
    HeapText(const HeapText&) = delete;
    HeapText& operator=(const HeapText&) = delete;
    SharedString get() const { return s_; }

private:
    const SharedHeap& heap_;
    SharedString s_;
};

// The program's own folder, found before the application object exists.
QDir programFolder(const char* argv0)
{
    QString program;
#if defined(__linux__)
    program = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
#endif
    if (program.isEmpty())
        program = QFileInfo(QFile::decodeName(argv0)).absoluteFilePath();
    return QFileInfo(program).absoluteDir();
}

QWidget* findPointsWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("frmVuRudiCompetition"))
            return w;
    }
    return nullptr;
}

// Ends the event loop when the window hides, which closing it does.
class QuitOnHide : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // A minimised window hides spontaneously; only closing it ends the run.
        if (event->type() == QEvent::Hide && !event->spontaneous())
            QCoreApplication::quit();
        return QObject::eventFilter(watched, event);
    }
};

// Closes every modal box as soon as it comes up, its text going to the
// standard error stream: for a run with nobody to answer it (a picture of
// the window, the end asked for by a signal).
class ModalBoxCloser {
public:
    ModalBoxCloser() { QObject::connect(&timer_, &QTimer::timeout, &ModalBoxCloser::closeBoxes); }
    // Timers run in the box's own event loop too.
    void start() { timer_.start(20); }

private:
    static void closeBoxes()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(w);
            if (!dialog || !dialog->isVisible() || !dialog->isModal())
                continue;
            if (auto* box = qobject_cast<QMessageBox*>(dialog))
                std::cerr << "tallyon: " << oneLine(box->text().toLocal8Bit().toStdString()) << std::endl;
            dialog->reject();
        }
    }
    QTimer timer_;
};

#if defined(__linux__)
// SIGINT, SIGTERM and SIGHUP (a closed terminal, a dropped remote session)
// end the run saving what can be saved of the archer on display, also while
// a message box is up: the boxes are closed first and the saving runs from
// the main event loop, never inside a handler that waits for a box. Arrows
// the window cannot store (a box holding "15", another station's lock, a
// server gone) are named on the standard error stream, and the exit code is
// 1. The signals are blocked in every thread (the database engine's threads
// must not be interrupted) and read from a descriptor on the event loop.
class CloseOnSignal {
public:
    // Before any other thread starts, so that they all inherit the mask.
    static void blockSignals()
    {
        const sigset_t set = closingSignals();
        ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    }

    // Before the window opens: a signal that comes while it opens is kept.
    explicit CloseOnSignal(ModalBoxCloser& boxes)
    {
        QObject::connect(&closeTimer_, &QTimer::timeout, [this] { closeWhenBackInMainLoop(); });
        const sigset_t set = closingSignals();
        fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
        if (fd_ < 0)
            return;
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this, &boxes] {
            signalfd_siginfo info;
            while (::read(fd_, &info, sizeof info) == sizeof info) {
            }
            boxes.start();
            closeTimer_.start(20);
        });
    }
    ~CloseOnSignal()
    {
        notifier_.reset();
        if (fd_ >= 0)
            ::close(fd_);
    }
    CloseOnSignal(const CloseOnSignal&) = delete;
    CloseOnSignal& operator=(const CloseOnSignal&) = delete;

    // Right before the main event loop runs.
    void mainLoopStarts() { mainLoop_ = true; }

private:
    void closeWhenBackInMainLoop()
    {
        if (!mainLoop_ || QThread::currentThread()->loopLevel() > 1 || QApplication::activeModalWidget())
            return; // a box or its handler is still on its way out
        closeTimer_.stop();
        QWidget* window = findPointsWindow();
        if (!window || !window->isVisible()) {
            QCoreApplication::exit(0);
            return;
        }
        QStringList notStored;
        if (!QMetaObject::invokeMethod(window, "SaveWhatCanBeSaved", Qt::DirectConnection,
                                       Q_RETURN_ARG(QStringList, notStored))) {
            // A module without it: closing saves all or nothing.
            window->close(); // its hiding ends the run
            if (window->isVisible()) {
                std::cerr << "tallyon: the points window could not close; the arrows on screen are not stored"
                          << std::endl;
                QCoreApplication::exit(1);
            }
            return;
        }
        for (const QString& line : std::as_const(notStored))
            std::cerr << "tallyon: " << line.toLocal8Bit().constData() << std::endl;
        QCoreApplication::exit(notStored.isEmpty() ? 0 : 1);
    }
    static sigset_t closingSignals()
    {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        return set;
    }
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer closeTimer_;
    bool mainLoop_ = false;
};
#else
class CloseOnSignal {
public:
    static void blockSignals() {}
    explicit CloseOnSignal(ModalBoxCloser&) {}
    void mainLoopStarts() {}
};
#endif

} // namespace

namespace {

// Without a display the window can only be drawn into a picture.
void requireDisplay(bool picture)
{
    if (haveDisplay())
        return;
    if (!picture)
        throw CommandError("no display; run it on a virtual one (xvfb-run -a tallyon points DB) "
                           "or take a picture of the window (tallyon points DB --screenshot FILE.png)");
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Refuses a missing file or a database without the competition's tables
// before any window appears; nothing is ever created here.
void checkCompetitionBeforeWindow(const CompetitionLogin& login, bool addHistory)
{
    db::Connection probe;
    openCompetitionDatabase(probe, login);
    checkCompetitionSchema(probe, login.database);
    // An older database gets the arrows' history the first time it is
    // opened by a login that may add it.
    if (addHistory && !EnsurePointsHistory(probe))
        std::cerr << "tallyon: " << login.database << " keeps no history of the arrows yet, and this login "
                  << "cannot add it; open it once as the organiser" << std::endl;
    probe.disconnect();
}

OpenFormPointsProc loadModule(QLibrary& module, const QDir& folder)
{
    const QString modulePath = folder.filePath(QString::fromLatin1(kVozozeVoveFileName));
    return reinterpret_cast<OpenFormPointsProc>(
        entryPoint(loadLibrary(module, modulePath, "the module", false), kOpenFormPointsName));
}

void connectStationContext(TdmTallyon& dm, const CompetitionLogin& login, const std::string& station)
{
    SetUpStationContext(dm, login, kStationLockTimeout, station);
    try {
        dm.Connect(login);
    } catch (const db::DbError& e) {
        throw CommandError(cannotOpenText(login, e));
    }
}

// Opens the module's window on the data context; the texts live as long as it does.
QWidget* openPointsWindow(OpenFormPointsProc openFormPoints, TdmTallyon& dm, const HeapText& caller,
                          const HeapText& database, const std::string& databaseName)
{
    try {
        openFormPoints(&dm, caller.get(), database.get());
    } catch (const std::exception& e) {
        // A damaged file is said so plainly, the engine's words after it.
        try {
            std::rethrow_if_nested(e);
        } catch (const db::DbError& cause) {
            if (cause.tellsOfDamage())
                throw CommandError(damagedText(databaseName, "reading the first archer failed", cause));
        } catch (...) {
        }
        throw CommandError("the points window failed to open: " + oneLine(e.what()));
    }
    QWidget* window = findPointsWindow();
    if (!window || !window->isVisible())
        throw CommandError("the module opened no points window");
    return window;
}

int takePicture(QApplication& app, QWidget* window, const QString& file)
{
    int result = 0;
    QTimer::singleShot(0, &app, [&] {
        if (!RenderToPng(window, file))
            result = -1;
        QCoreApplication::quit();
    });
    app.exec();
    if (result != 0)
        throw CommandError("cannot write " + file.toStdString());
    return 0;
}

// The operator's run: every arrow typed goes to the station's journal (what
// an earlier run left unsaved is offered first) until the window closes.
int runStation(QApplication& app, QWidget* window, StationJournal* journal, CloseOnSignal& closeOnSignal)
{
    QMetaObject::invokeMethod(window, "UseStationJournal", Qt::DirectConnection,
                              Q_ARG(QObject*, journal));
    const auto forgetJournal = qScopeGuard([window] {
        QMetaObject::invokeMethod(window, "UseStationJournal", Qt::DirectConnection,
                                  Q_ARG(QObject*, nullptr));
    });

    QuitOnHide quitOnHide;
    window->installEventFilter(&quitOnHide);
    closeOnSignal.mainLoopStarts();
    const int result = app.exec();
    window->removeEventFilter(&quitOnHide);
    return result;
}

} // namespace

int runPoints(int& argc, char** argv, const CompetitionLogin& login, const std::optional<QString>& screenshot,
              std::string station, bool stationNamed)
{
    requireDisplay(screenshot.has_value());
    if (!screenshot)
        CloseOnSignal::blockSignals();
    checkCompetitionBeforeWindow(login, !screenshot);

    // The module does nothing when it loads, so it is loaded before the
    // application starts: a missing module leaves no trace on the screen.
    const QDir folder = programFolder(argv[0]);
    const SharedHeap heap = loadSharedHeap(folder.filePath(QStringLiteral(TALLYON_SHAREDHEAP_FILE)));
    QLibrary module;
    const OpenFormPointsProc openFormPoints = loadModule(module, folder);

    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tallyon"));
    app.setQuitOnLastWindowClosed(false);

    std::unique_ptr<StationJournal> journal;
    if (!screenshot)
        journal = OpenStationJournal(login, station, stationNamed);
    TdmTallyon dm;
    connectStationContext(dm, login, station);

    ModalBoxCloser boxCloser;
    if (screenshot)
        boxCloser.start(); // a picture never waits for an answer
    std::optional<CloseOnSignal> closeOnSignal;
    if (!screenshot)
        closeOnSignal.emplace(boxCloser);

    const HeapText caller(heap, "tallyon");
    const HeapText database(heap, login.database);
    QWidget* window = openPointsWindow(openFormPoints, dm, caller, database, login.database);
    if (screenshot)
        return takePicture(app, window, *screenshot);
    return runStation(app, window, journal.get(), *closeOnSignal);
}
