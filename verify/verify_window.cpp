#include "verify/verify_window.h"

#include "core/command_error.h"
#include "core/latin1.h"
#include "db/error.h"
#include "results/card_check.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFormLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace {

QString describe(const ArcherResult& a)
{
    return QStringLiteral("%1, lane %2 (no. %3)").arg(fromLatin1(a.name), fromLatin1(a.lane)).arg(a.archerId);
}

QString errorText(const std::exception& e)
{
    return QString::fromStdString(oneLine(e.what()));
}

} // namespace

VerifyWindow::VerifyWindow(db::Connection& connection, std::string who, QWidget* parent)
    : QWidget(parent), connection_(connection), who_(std::move(who))
{
    setWindowTitle(QStringLiteral("Verify score cards"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    archerBox_ = new QLineEdit(this);
    archerBox_->setObjectName(QStringLiteral("archer"));
    archerBox_->setPlaceholderText(QStringLiteral("lane, archer no., or scan the card"));
    form->addRow(QStringLiteral("Archer"), archerBox_);
    archerLabel_ = new QLabel(this);
    archerLabel_->setObjectName(QStringLiteral("archerName"));
    form->addRow(QString(), archerLabel_);
    const auto numberBox = [&](const char* name, const QString& label) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QLatin1String(name));
        box->setValidator(new QIntValidator(0, 9999, box));
        box->setEnabled(false);
        form->addRow(label, box);
        connect(box, &QLineEdit::returnPressed, this, [this, box] { numberEntered(box); });
        return box;
    };
    round1_ = numberBox("round1", QStringLiteral("Round 1 total"));
    round2_ = numberBox("round2", QStringLiteral("Round 2 total"));
    tens_ = numberBox("tens", QStringLiteral("10s (Xs included)"));
    xs_ = numberBox("xs", QStringLiteral("Xs"));
    layout->addLayout(form);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("message"));
    message_->setWordWrap(true);
    layout->addWidget(message_);
    card_ = new QPlainTextEdit(this);
    card_->setObjectName(QStringLiteral("card"));
    card_->setReadOnly(true);
    card_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(card_, 1);
    // F9: a line edit keeps Ctrl+U for itself.
    auto* unlock = new QPushButton(QStringLiteral("Unlock this card (F9)"), this);
    unlock->setObjectName(QStringLiteral("unlock"));
    unlock->setShortcut(QKeySequence(Qt::Key_F9));
    unlock->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(unlock);

    connect(archerBox_, &QLineEdit::returnPressed, this, &VerifyWindow::pickArcher);
    connect(unlock, &QPushButton::clicked, this, &VerifyWindow::unlockCurrent);
    resize(520, 560);
    archerBox_->setFocus();
}

QString VerifyWindow::message() const
{
    return message_->text();
}

void VerifyWindow::showMessage(const QString& text, bool good)
{
    message_->setText(text);
    message_->setStyleSheet(good ? QStringLiteral("color: #1a7f1a; font-weight: bold;")
                                 : QStringLiteral("color: #b00020; font-weight: bold;"));
}

void VerifyWindow::pickArcher()
{
    passed_ = false;
    try {
        const QString text = archerBox_->text();
        const auto id = findArcherForCard(connection_, text);
        if (!id) {
            showMessage(QStringLiteral("No archer has the number or lane \"%1\".").arg(text), false);
            archerBox_->selectAll();
            return;
        }
        const std::vector<std::int32_t> ids{*id};
        std::vector<ArcherResult> found = readArcherResults(connection_, &ids);
        archer_ = found.front();
        archerLabel_->setText(describe(*archer_));
        card_->clear();
        for (QLineEdit* box : {round1_, round2_, tens_, xs_}) {
            box->clear();
            box->setEnabled(true);
        }
        if (const auto check = cardCheckOf(connection_, *id))
            showMessage(QStringLiteral("This card was verified by %1 at %2 already.")
                            .arg(fromLatin1(check->by), QString::fromStdString(check->at)),
                        true);
        else if (archer_->status == "DNS")
            showMessage(QStringLiteral("This archer did not start (DNS): there is no card to verify."), false);
        else
            message_->clear();
        round1_->setFocus();
    } catch (const std::exception& e) {
        showMessage(errorText(e), false);
    }
}

void VerifyWindow::numberEntered(QLineEdit* box)
{
    // Enter goes on to the next empty box; with all four filled it checks.
    QLineEdit* const boxes[] = {round1_, round2_, tens_, xs_};
    const auto at = std::find(std::begin(boxes), std::end(boxes), box);
    for (std::size_t i = 1; i <= std::size(boxes); ++i) {
        QLineEdit* next = boxes[(std::size_t(at - std::begin(boxes)) + i) % std::size(boxes)];
        if (next->text().isEmpty()) {
            next->setFocus();
            return;
        }
    }
    checkCard();
}

void VerifyWindow::checkCard()
{
    passed_ = false;
    if (!archer_)
        return;
    try {
        // The arrows as they are now, not as they were when the archer was picked.
        const std::vector<std::int32_t> ids{archer_->archerId};
        std::vector<ArcherResult> fresh = readArcherResults(connection_, &ids);
        if (fresh.empty()) {
            showMessage(QStringLiteral("The archer was removed meanwhile."), false);
            return;
        }
        archer_ = fresh.front();
        SignedCard signedCard;
        signedCard.roundTotals = {round1_->text().toInt(), round2_->text().toInt()};
        signedCard.tens = tens_->text().toInt();
        signedCard.xs = xs_->text().toInt();
        const QStringList differences = cardDifferences(*archer_, signedCard);
        if (!differences.isEmpty()) {
            showMessage(QStringLiteral("%1: the card differs, nothing is marked.\n%2")
                            .arg(describe(*archer_), differences.join(u'\n')),
                        false);
            card_->setPlainText(QStringLiteral("Entered: round 1 %1, round 2 %2, 10s %3, Xs %4\n\n")
                                    .arg(archer_->roundPoints[0])
                                    .arg(archer_->roundPoints[1])
                                    .arg(archer_->tens())
                                    .arg(archer_->xs)
                                + cardByEnds(*archer_).join(u'\n'));
            round1_->setFocus();
            round1_->selectAll();
            return;
        }
        markCardVerified(connection_, archer_->archerId, who_);
        const auto check = cardCheckOf(connection_, archer_->archerId);
        showMessage(QStringLiteral("%1: verified by %2 at %3 and locked.")
                        .arg(describe(*archer_), fromLatin1(who_),
                             check ? QString::fromStdString(check->at) : QString()),
                    true);
        passed_ = true;
        readyForNextCard();
    } catch (const std::exception& e) {
        showMessage(errorText(e), false);
    }
}

void VerifyWindow::unlockCurrent()
{
    if (!archer_)
        return;
    try {
        const bool was = unlockCard(connection_, archer_->archerId);
        showMessage(was ? QStringLiteral("%1: unlocked; its arrows may be changed again.").arg(describe(*archer_))
                        : QStringLiteral("%1 was not locked.").arg(describe(*archer_)),
                    true);
    } catch (const std::exception& e) {
        showMessage(errorText(e), false);
    }
}

void VerifyWindow::readyForNextCard()
{
    archerBox_->clear();
    archerLabel_->clear();
    card_->clear();
    for (QLineEdit* box : {round1_, round2_, tens_, xs_}) {
        box->clear();
        box->setEnabled(false);
    }
    archerBox_->setFocus();
}

int runVerifyWindow(int& argc, char** argv, db::Connection& connection, const std::string& who)
{
    QApplication app(argc, argv);
    VerifyWindow window(connection, who);
    window.show();
    return QApplication::exec();
}
