// The module as the host sees it: loaded by path, called by name, on a real
// data context over an embedded competition database.

#include "module/VozozeVove.h"
#include "sharedheap/shared_heap.h"
#include "sharedheap/shared_string.h"
#include "tests/support/competition.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
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

QWidget* pointsWindow(QWidget* other = nullptr)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("frmVuRudiCompetition") && w != other)
            return w;
    }
    return nullptr;
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
    void cleanupTestCase();
    void init();

    void sharedStringLayoutAndCounts();
    void loadingCreatesNothingAndExportsOnlyTheEntryPoint();
    void firstCallCreatesTheWindowOnTheFirstArcher();
    void callWhileVisibleOnlyRaises();
    void callAfterCloseRereadsTheArcher();
    void laterCallReplacesTheDataContext();
    void textsKeepTheirCounts_data();
    void textsKeepTheirCounts();
    void showErrorReachesTheCallerAndTextsAreReleased();
    void creationErrorIsShownAndTheWindowStillOpens();
    void moduleDoesNotLoadWithoutTheSharedHeap();

private:
    // Closes every message box at once and keeps its text, so that no
    // test waits for an operator.
    void closeMessageBoxes();
    void reopenOnFirstContext();

    std::unique_ptr<TestCompetition> competition_;
    std::unique_ptr<TdmTallyon> dm_;
    void* library_ = nullptr;
    OpenFormPointsProc open_ = nullptr;
    QPointer<QWidget> window_;
    QStringList messages_;
    QTimer messageCloser_;
};

void TestModule::initTestCase()
{
    connect(&messageCloser_, &QTimer::timeout, this, &TestModule::closeMessageBoxes);
    messageCloser_.start(20);

    competition_ = std::make_unique<TestCompetition>();
    fillCompetition(*competition_, "Deutschland", "Anna \xC4rger", "Bernd B\xF6hm");
    dm_ = std::make_unique<TdmTallyon>();
    dm_->Connect(competition_->login);
}

void TestModule::cleanupTestCase()
{
    // The module never frees its window; it must not outlive the data
    // context's use, so it is hidden before the context goes.
    if (window_)
        window_->hide();
}

void TestModule::init()
{
    messages_.clear();
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
    library_ = dlopen(TALLYON_MODULE, RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(library_, dlerror());
    open_ = reinterpret_cast<OpenFormPointsProc>(dlsym(library_, kOpenFormPointsName));
    QVERIFY(open_);
    QCOMPARE(pointsWindow(), nullptr);
    // The window class lives inside the module, out of the host's sight.
    QCOMPARE(dlsym(library_, "_ZN21TfrmVuRudiCompetitionC1EP10TdmTallyon"), nullptr);
}

void TestModule::firstCallCreatesTheWindowOnTheFirstArcher()
{
    QVERIFY(open_);
    open_(dm_.get(), nullptr, nullptr);
    window_ = pointsWindow();
    QVERIFY(window_);
    QVERIFY(window_->isVisible());
    QVERIFY(window_->parent() == nullptr);
    QCOMPARE(labelText(window_, "lblNameVal"), QStringLiteral("Anna Ärger"));
    QCOMPARE(labelText(window_, "lblCountryVal"), QStringLiteral("Deutschland"));
    QCOMPARE(messages_, QStringList());
}

void TestModule::callWhileVisibleOnlyRaises()
{
    QVERIFY(window_ && window_->isVisible());
    // A change the data context could see at once: were anything re-read,
    // the window would show it.
    dm_->IBSQLDelete.sqlClear();
    dm_->IBSQLDelete.sqlAdd("update ARCHER set NAME = 'Anna Neu' where ARCHERID = 1");
    dm_->IBSQLDelete.execute();

    open_(dm_.get(), nullptr, nullptr);
    QCOMPARE(pointsWindow(), window_.data());
    QVERIFY(window_->isVisible());
    QCOMPARE(labelText(window_, "lblNameVal"), QStringLiteral("Anna Ärger"));
    QCOMPARE(laneTreeArchers(window_).size(), 2);
}

void TestModule::callAfterCloseRereadsTheArcher()
{
    QVERIFY(window_);
    QVERIFY(window_->close());
    QVERIFY(!window_->isVisible());
    open_(dm_.get(), nullptr, nullptr);
    QCOMPARE(pointsWindow(), window_.data());
    QVERIFY(window_->isVisible());
    QCOMPARE(labelText(window_, "lblNameVal"), QStringLiteral("Anna Neu"));
    QCOMPARE(messages_, QStringList());
}

void TestModule::laterCallReplacesTheDataContext()
{
    QVERIFY(window_);
    TestCompetition other(QStringLiteral("other.fdb"));
    fillCompetition(other, "D\xE4nemark", "Carl Clausen", "Dorte Dahl");
    TdmTallyon dm2;
    dm2.Connect(other.login);

    window_->close();
    open_(&dm2, nullptr, nullptr);
    QCOMPARE(pointsWindow(), window_.data());
    // The lookups and the lane tree follow the latest data context.
    QCOMPARE(labelText(window_, "lblCountryVal"), QStringLiteral("Dänemark"));
    const QStringList archers = laneTreeArchers(window_);
    QVERIFY2(archers.join(u',').contains(QStringLiteral("Carl Clausen")), qPrintable(archers.join(u',')));

    window_->close();
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
    QVERIFY(window_);
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
    QVERIFY(window_);
    // A data context whose connection is gone: the show handler cannot order
    // the archers.
    TdmTallyon closed;
    closed.Connect(competition_->login);
    closed.IBDBCompetition.disconnect();

    window_->close();
    const SharedStringRef text = SharedStringRef::fromBytes("eins");
    bool raised = false;
    try {
        open_(&closed, text.get(), text.get());
    } catch (const std::exception&) {
        raised = true;
    }
    QVERIFY(raised);
    QCOMPARE(SharedStringRefCount(text.get()), 1);
    // The error went to the caller, not into a message box.
    QCOMPARE(messages_, QStringList());
    QCOMPARE(QApplication::overrideCursor(), nullptr);

    window_->hide();
    reopenOnFirstContext();
}

void TestModule::creationErrorIsShownAndTheWindowStillOpens()
{
    // A fresh copy of the module has no window yet; its data context holds
    // no archer, which the creation handler reports.
    TestCompetition empty(QStringLiteral("empty.fdb"));
    TdmTallyon dmEmpty;
    dmEmpty.Connect(empty.login);

    const QString copy = QDir(empty.folder()).filePath(QStringLiteral("VozozeVove.trn"));
    QVERIFY(QFile::copy(QStringLiteral(TALLYON_MODULE), copy));
    void* library = dlopen(QFile::encodeName(copy).constData(), RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(library, dlerror());
    auto open = reinterpret_cast<OpenFormPointsProc>(dlsym(library, kOpenFormPointsName));
    QVERIFY(open);

    const SharedStringRef text = SharedStringRef::fromBytes("eins");
    try {
        open(&dmEmpty, text.get(), nullptr);
    } catch (const std::exception&) {
        // The show handler meets the empty table as well, and says so.
    }
    QCOMPARE(SharedStringRefCount(text.get()), 1);
    QWidget* created = pointsWindow(window_);
    QVERIFY(created);
    QVERIFY(created->isVisible());
    QVERIFY2(messages_.join(u'\n').contains(QStringLiteral("The Archer table is empty")),
             qPrintable(messages_.join(u'\n')));
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
