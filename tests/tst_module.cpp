// The module as the host sees it: loaded by path, called by name, on a real
// data context over an embedded competition database.

#include "module/VozozeVove.h"
#include "sharedheap/shared_heap.h"
#include "sharedheap/shared_string.h"
#include "tests/support/competition.h"
#include "tests/support/expect_throw.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <dlfcn.h>

#include <cstring>
#include <memory>

namespace {

// A constant string as the host's compiler lays it out: count -1.
struct ConstantText {
    SharedStringHeader header{-1, 5};
    char chars[6] = "fixed";
    SharedString get() { return chars; }
};

// Two archers in lanes 1A and 2A of country 1, named as given.
void fillCompetition(const TestCompetition& c, const std::string& countryName, const std::string& first,
                     const std::string& second)
{
    c.seed({
        "insert into COUNTRY (COUNTRYNUMBER, NAME) values (1, '" + countryName + "')",
        "insert into BOWTYPES (TYPENO, DESCRIPTION) values (1, 'Recurve')",
        "insert into AGECLASS (AGECLASSNO, DESCRIPTION) values (1, 'Adult')",
        "insert into SHOOTINGCLASSES (SHOOTINGCLASSNO, DESCRIPTION) values (1, 'Open')",
        "insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, SEX, BOWTYPE, AGECLASSNO, SHOOTINGCLASS,"
        " ENABLETEAM, ENABLEFINALS, LANENO, LANELETTER) values (1, 1, '" + first + "', '1A', 'F', 1, 1, 1, 'T', 'T', 1, 'A')",
        "insert into ARCHER (ARCHERID, COUNTRYNUMBER, NAME, LANE, SEX, BOWTYPE, AGECLASSNO, SHOOTINGCLASS,"
        " ENABLETEAM, ENABLEFINALS, LANENO, LANELETTER) values (2, 1, '" + second + "', '2A', 'M', 1, 1, 1, 'T', 'T', 2, 'A')",
    });
}

// The points windows of every copy of the module loaded so far.
QList<QWidget*> pointsWindows()
{
    QList<QWidget*> windows;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("frmVuRudiCompetition"))
            windows << w;
    }
    return windows;
}

// The one points window that is not among those of before.
QWidget* newPointsWindow(const QList<QWidget*>& before)
{
    QWidget* created = nullptr;
    for (QWidget* w : pointsWindows()) {
        if (!before.contains(w)) {
            if (created)
                return nullptr;
            created = w;
        }
    }
    return created;
}

// A copy of the module file in folder, loaded afresh: a module of its own
// with no window yet.
void* loadModuleCopy(const QString& folder)
{
    const QString copy = QDir(folder).filePath(QStringLiteral("VozozeVove.trn"));
    if (!QFile::copy(QStringLiteral(TALLYON_MODULE), copy))
        return nullptr;
    return dlopen(QFile::encodeName(copy).constData(), RTLD_NOW | RTLD_LOCAL);
}

QString labelText(QWidget* window, const char* name)
{
    auto* label = window->findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<no label %1>").arg(QLatin1String(name));
}

QStringList laneTreeArchers(QWidget* window)
{
    QStringList out;
    auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("fctvRange"));
    if (!tree)
        return out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        for (int j = 0; j < tree->topLevelItem(i)->childCount(); ++j)
            out << tree->topLevelItem(i)->child(j)->text(0);
    }
    return out;
}

} // namespace

class TestModule : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sharedStringLayoutAndCounts();
    void loadingCreatesNothingAndExportsOnlyTheEntryPoint();
    void firstCallCreatesTheWindowOnTheFirstArcher();
    void callWhileVisibleOnlyRaises();
    void callAfterCloseRereadsTheArcher();
    void laterCallReplacesTheDataContext();
    void callWithAnotherContextWhileVisible();
    void textsKeepTheirCounts_data();
    void textsKeepTheirCounts();
    void showErrorReachesTheCallerAndTextsAreReleased();
    void emptyCompetitionOpensTheWindowWithoutABox();
    void moduleDoesNotLoadWithoutTheSharedHeap();

private:
    // Closes every message box at once and keeps its text, so that no
    // test waits for an operator.
    void closeMessageBoxes();
    // Calls the module on this test's data context, as the host does, and
    // keeps the window it shows.
    bool showOnContext();
    void reopenOnFirstContext();
    // Renames archer 1 inside the data context's own transaction, where a
    // re-read would see it at once.
    void renameFirstArcher(const std::string& name);

    void* library_ = nullptr;
    OpenFormPointsProc open_ = nullptr;
    std::unique_ptr<TestCompetition> competition_;
    std::unique_ptr<TdmTallyon> dm_;
    QPointer<QWidget> window_;
    QStringList messages_;
    QTimer messageCloser_;
};

void TestModule::initTestCase()
{
    connect(&messageCloser_, &QTimer::timeout, this, &TestModule::closeMessageBoxes);
    messageCloser_.start(20);

    library_ = dlopen(TALLYON_MODULE, RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(library_, dlerror());
    open_ = reinterpret_cast<OpenFormPointsProc>(dlsym(library_, kOpenFormPointsName));
    QVERIFY(open_);
}

void TestModule::init()
{
    messages_.clear();
    competition_ = std::make_unique<TestCompetition>();
    fillCompetition(*competition_, "Deutschland", "Anna \xC4rger", "Bernd B\xF6hm");
    dm_ = std::make_unique<TdmTallyon>();
    dm_->Connect(competition_->login);
}

void TestModule::cleanup()
{
    // The module never frees its window; it must not outlive the data
    // context's use, so it is hidden before the context goes.
    for (QWidget* window : pointsWindows())
        window->hide();
    dm_.reset();
    competition_.reset();
}

void TestModule::closeMessageBoxes()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
            messages_ << box->text();
            box->done(QMessageBox::Ok);
        }
    }
}

bool TestModule::showOnContext()
{
    const QList<QWidget*> before = pointsWindows();
    open_(dm_.get(), nullptr, nullptr);
    if (!window_)
        window_ = newPointsWindow(before);
    return window_ && window_->isVisible();
}

void TestModule::renameFirstArcher(const std::string& name)
{
    dm_->IBSQLDelete.sqlClear();
    dm_->IBSQLDelete.sqlAdd("update ARCHER set NAME = '" + name + "' where ARCHERID = 1");
    dm_->IBSQLDelete.execute();
}

void TestModule::sharedStringLayoutAndCounts()
{
    // Empty text is the null string, and null is accepted everywhere.
    QCOMPARE(SharedStringNew("", 0), nullptr);
    SharedStringAddRef(nullptr);
    SharedStringRelease(nullptr);
    QCOMPARE(SharedStringRefCount(nullptr), 0);

    // The header stands right before the characters, which end in a zero;
    // bytes after a zero byte belong to the text.
    SharedString s = SharedStringNew("a\0b\xE4", 4);
    const auto* header = reinterpret_cast<const SharedStringHeader*>(s) - 1;
    QCOMPARE(header->refCount, 1);
    QCOMPARE(header->length, 4);
    QCOMPARE(QByteArray(s, 5), QByteArray("a\0b\xE4\0", 5));
    SharedStringAddRef(s);
    SharedStringAddRef(s);
    SharedStringRelease(s);
    QCOMPARE(SharedStringRefCount(s), 2);
    SharedStringRelease(s);
    SharedStringRelease(s);   // frees it

    // A constant is never counted nor freed.
    ConstantText constant;
    SharedStringAddRef(constant.get());
    SharedStringRelease(constant.get());
    SharedStringRelease(constant.get());
    QCOMPARE(SharedStringRefCount(constant.get()), -1);

    // The holder keeps one reference per copy.
    const SharedStringRef held = SharedStringRef::fromBytes("abc");
    {
        const SharedStringRef copy = held;
        QCOMPARE(SharedStringRefCount(held.get()), 2);
    }
    QCOMPARE(SharedStringRefCount(held.get()), 1);
    QCOMPARE(held.view(), std::string_view("abc"));
}

void TestModule::loadingCreatesNothingAndExportsOnlyTheEntryPoint()
{
    const QList<QWidget*> before = QApplication::topLevelWidgets();
    void* library = loadModuleCopy(competition_->folder());
    QVERIFY2(library, dlerror());
    QVERIFY(dlsym(library, kOpenFormPointsName));
    QCOMPARE(QApplication::topLevelWidgets(), before);
    // The window class lives inside the module, out of the host's sight.
    QCOMPARE(dlsym(library, "_ZN21TfrmVuRudiCompetitionC1EP10TdmTallyon"), nullptr);
}

void TestModule::firstCallCreatesTheWindowOnTheFirstArcher()
{
    void* library = loadModuleCopy(competition_->folder());
    QVERIFY2(library, dlerror());
    auto open = reinterpret_cast<OpenFormPointsProc>(dlsym(library, kOpenFormPointsName));
    QVERIFY(open);

    const QList<QWidget*> before = pointsWindows();
    open(dm_.get(), nullptr, nullptr);
    QWidget* window = newPointsWindow(before);
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(window->parent() == nullptr);
    QCOMPARE(labelText(window, "lblNameVal"), QStringLiteral("Anna Ärger"));
    QCOMPARE(labelText(window, "lblCountryVal"), QStringLiteral("Deutschland"));
    QCOMPARE(messages_, QStringList());
}

void TestModule::callWhileVisibleOnlyRaises()
{
    QVERIFY(showOnContext());
    const QList<QWidget*> before = pointsWindows();
    // A change the data context could see at once: were anything re-read,
    // the window would show it.
    renameFirstArcher("Anna Neu");

    open_(dm_.get(), nullptr, nullptr);
    QCOMPARE(pointsWindows(), before);
    QVERIFY(window_->isVisible());
    QCOMPARE(labelText(window_, "lblNameVal"), QStringLiteral("Anna Ärger"));
    QCOMPARE(laneTreeArchers(window_).size(), 2);
}

void TestModule::callAfterCloseRereadsTheArcher()
{
    QVERIFY(showOnContext());
    const QList<QWidget*> before = pointsWindows();
    renameFirstArcher("Anna Neu");
    QVERIFY(window_->close());
    QVERIFY(!window_->isVisible());
    open_(dm_.get(), nullptr, nullptr);
    QCOMPARE(pointsWindows(), before);
    QVERIFY(window_->isVisible());
    QCOMPARE(labelText(window_, "lblNameVal"), QStringLiteral("Anna Neu"));
    QCOMPARE(messages_, QStringList());
}

void TestModule::laterCallReplacesTheDataContext()
{
    QVERIFY(showOnContext());
    const QList<QWidget*> before = pointsWindows();
    TestCompetition other(QStringLiteral("other.fdb"));
    fillCompetition(other, "D\xE4nemark", "Carl Clausen", "Dorte Dahl");
    TdmTallyon dm2;
    dm2.Connect(other.login);

    window_->close();
    open_(&dm2, nullptr, nullptr);
    QCOMPARE(pointsWindows(), before);
    // The lookups and the lane tree follow the latest data context.
    QCOMPARE(labelText(window_, "lblCountryVal"), QStringLiteral("Dänemark"));
    const QStringList archers = laneTreeArchers(window_);
    QVERIFY2(archers.join(u',').contains(QStringLiteral("Carl Clausen")), qPrintable(archers.join(u',')));

    window_->close();
    reopenOnFirstContext();
}

// A second call with another competition while the window is visible: the
// arrow typed before goes to the first competition, the window then shows
// the second one's archers, and what is typed there goes to the second.
void TestModule::callWithAnotherContextWhileVisible()
{
    QVERIFY(showOnContext());
    TestCompetition other(QStringLiteral("other.fdb"));
    fillCompetition(other, "D\xE4nemark", "Carl Clausen", "Dorte Dahl");
    TdmTallyon dm2;
    dm2.Connect(other.login);
    auto hideFirst = qScopeGuard([&] { window_->hide(); });

    auto* box = window_->findChild<QLineEdit*>(QStringLiteral("pe1"));
    QVERIFY(box);
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("7"));
    open_(&dm2, nullptr, nullptr);
    QVERIFY(window_->isVisible());
    QCOMPARE(messages_, QStringList());
    QCOMPARE(competition_->rows("select POINT from POINTS where ARCHERID = 1 and ROUNDNO = 1 and ARROWNO = 1"),
             std::vector<std::string>({"7"}));
    QCOMPARE(labelText(window_, "lblNameVal"), QStringLiteral("Carl Clausen"));
    QCOMPARE(box->text(), QString());

    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("5"));
    QTest::keyClick(window_, Qt::Key_PageDown);
    QCOMPARE(labelText(window_, "lblNameVal"), QStringLiteral("Dorte Dahl"));
    QCOMPARE(other.rows("select ARCHERID, POINT from POINTS where ROUNDNO = 1 and ARROWNO = 1"),
             std::vector<std::string>({"1|5"}));
    QCOMPARE(competition_->rows("select ARCHERID, POINT from POINTS where ROUNDNO = 1 and ARROWNO = 1"),
             std::vector<std::string>({"1|7"}));
    QTest::keyClick(window_, Qt::Key_PageUp);
    QCOMPARE(labelText(window_, "lblNameVal"), QStringLiteral("Carl Clausen"));
    QCOMPARE(box->text(), QStringLiteral("5"));

    window_->close();
    hideFirst.dismiss();
    reopenOnFirstContext();
}

void TestModule::reopenOnFirstContext()
{
    open_(dm_.get(), nullptr, nullptr);
    QVERIFY(window_->isVisible());
    QCOMPARE(labelText(window_, "lblCountryVal"), QStringLiteral("Deutschland"));
}

void TestModule::textsKeepTheirCounts_data()
{
    QTest::addColumn<bool>("visible");
    QTest::newRow("window visible") << true;
    QTest::newRow("window hidden") << false;
}

void TestModule::textsKeepTheirCounts()
{
    QFETCH(bool, visible);
    QVERIFY(showOnContext());
    if (!visible)
        window_->close();

    const SharedStringRef once = SharedStringRef::fromBytes("eins");
    const SharedStringRef twice = SharedStringRef::fromBytes("zwei");
    const SharedStringRef secondHolder = twice;
    ConstantText constant;

    open_(dm_.get(), once.get(), twice.get());
    QCOMPARE(SharedStringRefCount(once.get()), 1);
    QCOMPARE(SharedStringRefCount(twice.get()), 2);

    open_(dm_.get(), constant.get(), nullptr);
    QCOMPARE(constant.header.refCount, -1);
    QCOMPARE(QByteArray(constant.get()), QByteArray("fixed"));
    QVERIFY(window_->isVisible());
}

void TestModule::showErrorReachesTheCallerAndTextsAreReleased()
{
    QVERIFY(showOnContext());
    // A data context whose connection is gone: the show handler cannot order
    // the archers.
    TdmTallyon closed;
    closed.Connect(competition_->login);
    closed.IBDBCompetition.disconnect();

    window_->close();
    const SharedStringRef text = SharedStringRef::fromBytes("eins");
    QVERIFY(expectThrow<std::exception>([&] { open_(&closed, text.get(), text.get()); }));
    QCOMPARE(SharedStringRefCount(text.get()), 1);
    // The error went to the caller, not into a message box.
    QCOMPARE(messages_, QStringList());
    QCOMPARE(QApplication::overrideCursor(), nullptr);

    window_->hide();
    reopenOnFirstContext();
}

void TestModule::emptyCompetitionOpensTheWindowWithoutABox()
{
    // A fresh copy of the module has no window yet; its data context holds
    // no archer: the window opens empty, with no message box.
    TestCompetition empty(QStringLiteral("empty.fdb"));
    TdmTallyon dmEmpty;
    dmEmpty.Connect(empty.login);

    void* library = loadModuleCopy(empty.folder());
    QVERIFY2(library, dlerror());
    auto open = reinterpret_cast<OpenFormPointsProc>(dlsym(library, kOpenFormPointsName));
    QVERIFY(open);

    const QList<QWidget*> before = pointsWindows();
    const SharedStringRef text = SharedStringRef::fromBytes("eins");
    open(&dmEmpty, text.get(), nullptr);
    QCOMPARE(SharedStringRefCount(text.get()), 1);
    QWidget* created = newPointsWindow(before);
    QVERIFY(created);
    QVERIFY(created->isVisible());
    QCOMPARE(messages_, QStringList());
    auto* hint = created->findChild<QLabel*>(QStringLiteral("lblNoArchers"));
    QVERIFY(hint && hint->isVisible());
    created->hide();
}

void TestModule::moduleDoesNotLoadWithoutTheSharedHeap()
{
    // The module and everything of ours it needs, but the shared heap.
    QTemporaryDir dir;
    const QDir bin(QFileInfo(QStringLiteral(TALLYON_MODULE)).absolutePath());
    for (const QString& name : bin.entryList({QStringLiteral("*.so*"), QStringLiteral("*.trn")}, QDir::Files)) {
        if (!name.startsWith(QLatin1String("libtallyon_sharedheap")))
            QVERIFY(QFile::copy(bin.filePath(name), QDir(dir.path()).filePath(name)));
    }
    QProcess loader;
    loader.start(QStringLiteral(TALLYON_MODULE_LOADER), {QDir(dir.path()).filePath(QStringLiteral("VozozeVove.trn"))});
    QVERIFY(loader.waitForFinished(30000));
    QVERIFY(loader.exitCode() != 0);
    const QString error = QString::fromLocal8Bit(loader.readAllStandardError());
    QVERIFY2(error.contains(QStringLiteral("libtallyon_sharedheap.so")), qPrintable(error));
}

QTEST_MAIN(TestModule)
#include "tst_module.moc"
