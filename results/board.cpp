#include "results/board.h"

#include "db/error.h"
#include "data/competition_io.h"
#include "controls/window_picture.h"
#include "core/command_error.h"
#include "results/points_events.h"
#include "results/ranking.h"
#include "core/latin1.h"
#include "results/results_schema.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <iostream>

namespace {

// A ranking longer than the screen turns a page this often.
constexpr int kPageTurnMs = 10000;

} // namespace

ResultsBoard::ResultsBoard(const CompetitionLogin& login, std::optional<std::string> onlyList, QWidget* parent)
    : QWidget(parent), onlyList_(std::move(onlyList))
{
    openCompetitionDatabase(connection_, login);
    checkCompetitionSchema(connection_, login.database);
    ensurePointsSavedTrigger(connection_);

    setWindowTitle(QStringLiteral("Results"));
    setObjectName(QStringLiteral("ResultsBoard"));
    setStyleSheet(QStringLiteral("#ResultsBoard { background-color: #101820; }"
                                 "QLabel { color: #9fb3c8; font-size: 14pt; padding: 4px 12px; }"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new BoardPageView(this);
    layout->addWidget(view_, 1);
    status_ = new QLabel(this);
    layout->addWidget(status_);

    // Lists longer than the screen come round page by page; the data is
    // read only when a save is told.
    auto* pages = new QTimer(this);
    connect(pages, &QTimer::timeout, this, [this] { showPage(current_ + 1 < pageCount() ? current_ + 1 : 0); });
    pages->start(kPageTurnMs);

    listener_ = std::make_unique<PointsSavedListener>(connection_);
    connect(listener_.get(), &PointsSavedListener::pointsSaved, this, &ResultsBoard::pointsSaved);
    refresh();
}

void ResultsBoard::pointsSaved()
{
    lastSave_ = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
    refresh();
}

void ResultsBoard::paginate()
{
    pages_ = boardPages(results_, view_->linesPerPage());
    showPage(std::min(current_, pageCount() - 1));
}

void ResultsBoard::showPage(int index)
{
    current_ = std::clamp(index, 0, std::max(0, pageCount() - 1));
    view_->setHead(fromLatin1(results_.competition.name),
                   pageCount() > 1 ? QStringLiteral("page %1 of %2").arg(current_ + 1).arg(pageCount()) : QString());
    view_->setPage(pages_.empty() ? BoardPage{} : pages_[std::size_t(current_)]);
    status_->setText((lastSave_.isEmpty() ? QStringLiteral("No save since the board opened")
                                          : QStringLiteral("Last save %1").arg(lastSave_))
                     + QStringLiteral(" \u00b7 ") + state_);
}

int ResultsBoard::linesBottom() const
{
    return view_->mapTo(this, QPoint(0, view_->linesBottom())).y();
}

QRect ResultsBoard::lineRect(int index) const
{
    return view_->lineRect(index).translated(view_->mapTo(this, QPoint(0, 0)));
}

const BoardPage& ResultsBoard::shownPage() const
{
    return view_->page();
}

int ResultsBoard::statusTop() const
{
    return status_->geometry().top();
}

void ResultsBoard::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    paginate();
}

void ResultsBoard::keyPressEvent(QKeyEvent* event)
{
    // Escape leaves full screen, F11 goes back; the arrows turn the pages.
    if (event->key() == Qt::Key_Escape && isFullScreen())
        showNormal();
    else if (event->key() == Qt::Key_F11)
        isFullScreen() ? showNormal() : showFullScreen();
    else if (event->key() == Qt::Key_Right || event->key() == Qt::Key_PageDown)
        showPage(current_ + 1 < pageCount() ? current_ + 1 : 0);
    else if (event->key() == Qt::Key_Left || event->key() == Qt::Key_PageUp)
        showPage(current_ > 0 ? current_ - 1 : pageCount() - 1);
    else
        QWidget::keyPressEvent(event);
}

ResultsBoard::~ResultsBoard()
{
    listener_.reset();
    connection_.disconnect();
}

void ResultsBoard::refresh()
{
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
    try {
        results_ = readResults(connection_, onlyList_);
        state_ = QStringLiteral("read %1, shown anew on every save").arg(time);
    } catch (const CommandError& e) {
        state_ = QStringLiteral("%1: %2").arg(time, QString::fromStdString(e.what()));
    } catch (const db::DbError& e) {
        state_ = QStringLiteral("%1: %2").arg(time, QString::fromStdString(oneLine(e.what())));
    } catch (const std::exception& e) {
        state_ = QStringLiteral("%1: %2").arg(time, QString::fromStdString(e.what()));
    }
    paginate();
}

QString ResultsBoard::shownText() const
{
    QStringList lines;
    for (const BoardLine& l : view_->page())
        lines << (l.kind == BoardLine::Title || l.kind == BoardLine::Note ? l.text : l.cells.join(u' '));
    return lines.join(u'\n');
}

namespace {

// A display to show the board on: X11, Wayland, or a platform chosen by name.
bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// FILE.png for the first page, FILE-2.png... for the others.
QString pagePath(const QString& path, int page)
{
    if (page == 0)
        return path;
    const QFileInfo info(path);
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    return path.left(path.size() - info.fileName().size()) + info.completeBaseName()
           + QStringLiteral("-%1").arg(page + 1) + suffix;
}

} // namespace

int runBoard(int& argc, char** argv, const CompetitionLogin& login, const std::optional<std::string>& onlyList,
             const std::optional<QString>& screenshot, bool window)
{
    if (!haveDisplay()) {
        if (!screenshot)
            throw CommandError("no display for the board; run it on the hall's screen (DISPLAY), on a virtual one "
                               "(xvfb-run -a tallyon board DB), or take pictures of its pages "
                               "(tallyon board DB --screenshot FILE.png)");
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ResultsBoard board(login, onlyList);
    if (screenshot) {
        board.resize(1600, 900);
        board.show();
        QApplication::processEvents();
        for (int page = 0; page < board.pageCount(); ++page) {
            board.showPage(page);
            QApplication::processEvents();
            const QString file = pagePath(*screenshot, page);
            if (!RenderToPng(&board, file))
                throw CommandError("cannot write " + file.toStdString());
            std::cout << "wrote " << file.toLocal8Bit().toStdString() << " (page " << page + 1 << " of "
                      << board.pageCount() << ")\n";
        }
        return 0;
    }
    if (window) {
        board.resize(1280, 720);
        board.show();
    } else {
        board.showFullScreen();
    }
    return QApplication::exec();
}
