#include "host/points.h"

#include "db/connection.h"
#include "db/error.h"
#include "db/query.h"
#include "host/competition_io.h"
#include "host/host_error.h"
#include "module/VozozeVove.h"
#include "sharedheap/shared_string.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

#include <cstdlib>

namespace {

bool haveDisplay()
{
    const auto set = [](const char* name) { return !qEnvironmentVariableIsEmpty(name); };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

// The module stays loaded until the process ends: its window and the
// archers it put into the data context live that long.
OpenFormPointsProc loadModule(const QString& path)
{
    if (!QFileInfo::exists(path))
        throw HostError("the module " + QDir::toNativeSeparators(path).toStdString() + " is missing");
#if defined(_WIN32)
    HMODULE library = LoadLibraryW(reinterpret_cast<LPCWSTR>(path.utf16()));
    if (!library)
        throw HostError("cannot load the module " + path.toStdString() + " (error "
                        + std::to_string(GetLastError()) + ")");
    auto proc = reinterpret_cast<OpenFormPointsProc>(GetProcAddress(library, kOpenFormPointsName));
    if (!proc)
        throw HostError("the module " + path.toStdString() + " has no entry point " + kOpenFormPointsName);
#else
    void* library = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        throw HostError(std::string("cannot load the module: ") + dlerror());
    auto proc = reinterpret_cast<OpenFormPointsProc>(dlsym(library, kOpenFormPointsName));
    if (!proc)
        throw HostError("the module " + path.toStdString() + " has no entry point " + kOpenFormPointsName);
#endif
    return proc;
}

// The program's own folder, found before the application object exists.
QString moduleBesideProgram(const char* argv0)
{
    QString program;
#if defined(__linux__)
    program = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
#endif
    if (program.isEmpty())
        program = QFileInfo(QFile::decodeName(argv0)).absoluteFilePath();
    return QFileInfo(program).absoluteDir().filePath(QString::fromLatin1(kVozozeVoveFileName));
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

// The host's bodies of the data context's events.
void installDataContextHandlers(TdmTallyon& dm)
{
    dm.IBQryArcher.onNewRecord = [](db::Query& q) {
        q.fieldByName("ENABLETEAM").setFlag(true);
        q.fieldByName("ENABLEFINALS").setFlag(true);
    };
    dm.IBQryArcher.beforePost = [](db::Query& q) {
        // A lane label left empty is made of the lane's number and letter.
        db::Field lane = q.fieldByName("LANE");
        if (lane.asString().empty() && !q.fieldByName("LANENO").isNull())
            lane.setString(q.fieldByName("LANENO").asString() + q.fieldByName("LANELETTER").asString());
    };
    dm.IBQryPoints.onPostError = [](db::Query&, const db::DbError&, db::PostErrorAction& action) {
        // The module tells a lock conflict from other failures itself.
        action = db::PostErrorAction::Fail;
    };
}

} // namespace

int runPoints(int& argc, char** argv, const CompetitionLogin& login, const std::optional<QString>& screenshot)
{
    if (!haveDisplay()) {
        if (!screenshot)
            throw HostError("no display; run it on a virtual one (xvfb-run -a tallyon points DB) "
                            "or take a picture of the window (tallyon points DB --screenshot FILE.png)");
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    // Refuse a missing file or a database without the competition's tables
    // before any window appears; nothing is ever created here.
    {
        db::Connection probe;
        openCompetitionDatabase(probe, login);
        checkCompetitionSchema(probe, login.database);
        probe.disconnect();
    }

    // The module does nothing when it loads, so it is loaded before the
    // application starts: a missing module leaves no trace on the screen.
    const OpenFormPointsProc openFormPoints = loadModule(moduleBesideProgram(argv[0]));

    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tallyon"));
    app.setQuitOnLastWindowClosed(false);

    TdmTallyon dm;
    // Wait for another station's lock at most five seconds, then report it.
    dm.IBTransPoints.params() = {"concurrency", "wait", "lock_timeout=5"};
    installDataContextHandlers(dm);
    try {
        dm.Connect(login);
    } catch (const db::DbError& e) {
        throw HostError("cannot open " + login.database + ": " + oneLine(e.what()));
    }

    const SharedStringRef caller = SharedStringRef::fromBytes("tallyon");
    const SharedStringRef database = SharedStringRef::fromBytes(login.database);
    try {
        openFormPoints(&dm, caller.get(), database.get());
    } catch (const std::exception& e) {
        throw HostError("the points window failed to open: " + oneLine(e.what()));
    }

    QWidget* window = findPointsWindow();
    if (!window || !window->isVisible())
        throw HostError("the module opened no points window");

    if (screenshot) {
        int result = 0;
        QTimer::singleShot(0, &app, [&] {
            if (!window->grab().save(*screenshot, "PNG"))
                result = -1;
            QCoreApplication::quit();
        });
        app.exec();
        if (result != 0)
            throw HostError("cannot write " + screenshot->toStdString());
        return 0;
    }

    QuitOnHide quitOnHide;
    window->installEventFilter(&quitOnHide);
    app.exec();
    window->removeEventFilter(&quitOnHide);
    return 0;
}
