// The points-entry module: one window per loaded module, opened on the
// host's data context.
//
// Version record: file and product version 1.0.0.0, file description
// "Vozoze VOVE ".

#include "module/VozozeVove.h"

#include "forms/uVuRudiCompetition.h"
#include "model/cursor_seam.h"
#include "model/message_seam.h"
#include "sharedheap/shared_string.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>

#include <stdexcept>

namespace {

// The version record (VozozeVove.rc on Windows; here for the reader).
[[maybe_unused]] constexpr const char* kFileVersion = "1.0.0.0";
[[maybe_unused]] constexpr const char* kProductVersion = "1.0.0.0";
[[maybe_unused]] constexpr const char* kFileDescription = "Vozoze VOVE ";

// The data context of the latest call; borrowed from the host.
TdmTallyon* dmHost = nullptr;
// The one window; created by the first call and never freed.
TfrmVuRudiCompetition* frmVuRudiCompetition = nullptr;

// The model's screen cursor is one value, not a stack: the hourglass stays
// until the default comes back, however often it was set.
void installCursorHandler()
{
    SetCursorHandler([overriding = false](int cursor) mutable {
        if (cursor == crHourGlass && !overriding) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            overriding = true;
        } else if (cursor == crDefault && overriding) {
            QApplication::restoreOverrideCursor();
            overriding = false;
        }
    });
}

// Swallows the show event of one widget while it lives.
class ShowEventBlocker : public QObject {
public:
    explicit ShowEventBlocker(QWidget* widget) : widget_(widget) { widget_->installEventFilter(this); }
    ~ShowEventBlocker() override { widget_->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        return watched == widget_ && event->type() == QEvent::Show;
    }

private:
    QWidget* widget_;
};

void installMessageHandler()
{
    SetMessageHandler([](const std::string& text) {
        QMessageBox::information(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                                 QString::fromLatin1(text.data(), qsizetype(text.size())));
    });
}

} // namespace

extern "C" VOZOZEVOVE_EXPORT void TALLYON_STDCALL OpenFormPoints(TdmTallyon* dataContext,
                                                                 SharedString text1,
                                                                 SharedString text2)
{
    // The call holds a reference to each text, released on every exit.
    const SharedStringRef holdText1(text1);
    const SharedStringRef holdText2(text2);

    dmHost = dataContext;
    if (!frmVuRudiCompetition) {
        installCursorHandler();
        installMessageHandler();
        // The window's creation handler shows its own errors; the window
        // exists either way.
        frmVuRudiCompetition = new TfrmVuRudiCompetition(dmHost);
        frmVuRudiCompetition->setObjectName(QStringLiteral("frmVuRudiCompetition"));
    }
    if (frmVuRudiCompetition->isVisible()) {
        // Another competition: the window saves what was typed into the
        // archer on display to its own competition before it shows the new
        // one, or stays where it is and says why.
        if (!frmVuRudiCompetition->SwitchDataContext(dmHost))
            throw std::runtime_error(
                "The points window stays on the competition it shows: the arrows typed there could not be "
                "stored yet. Store or mend them there, then open the points window again.");
        // Only to the front; a minimised window comes back as it was, and
        // no handler runs.
        if (frmVuRudiCompetition->isMinimized()) {
            ShowEventBlocker blocker(frmVuRudiCompetition);
            frmVuRudiCompetition->setWindowState(frmVuRudiCompetition->windowState() & ~Qt::WindowMinimized);
        }
        frmVuRudiCompetition->raise();
        frmVuRudiCompetition->activateWindow();
        return;
    }
    frmVuRudiCompetition->dmHost = dmHost;
    // The window's show event would display an error of its show handler;
    // an error there must reach the host instead, so the show event is held
    // back and the handler runs here.
    {
        ShowEventBlocker blocker(frmVuRudiCompetition);
        frmVuRudiCompetition->show();
    }
    frmVuRudiCompetition->raise();
    frmVuRudiCompetition->activateWindow();
    frmVuRudiCompetition->FormShow(frmVuRudiCompetition);
}
