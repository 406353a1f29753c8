#pragma once
// The window at the table where the signed cards arrive. The operator picks
// the archer (lane, number, or a scanned card: its digits, then Enter),
// types the round totals, 10s and Xs the archer signed and presses Enter:
// equal to the arrows entered, the card is marked verified and locked, and
// the window is ready for the next card; different, the window shows what
// differs and the entered card end by end, and marks nothing.

#include "results/ranking.h"

#include <QWidget>

#include <optional>
#include <string>

namespace db { class Connection; }
class QLabel;
class QLineEdit;
class QPlainTextEdit;

class VerifyWindow : public QWidget {
    Q_OBJECT

public:
    // The connection belongs to the caller and outlives the window; `who`
    // is the name the checks are recorded under.
    VerifyWindow(db::Connection& connection, std::string who, QWidget* parent = nullptr);

    // The message line as shown, and whether it tells of a verified card.
    QString message() const;
    bool lastCheckPassed() const { return passed_; }

private:
    void pickArcher();
    void numberEntered(QLineEdit* box);
    void checkCard();
    void unlockCurrent();
    void showMessage(const QString& text, bool good);
    void readyForNextCard();

    db::Connection& connection_;
    std::string who_;
    std::optional<ArcherResult> archer_;
    bool passed_ = false;
    QLineEdit* archerBox_ = nullptr;
    QLabel* archerLabel_ = nullptr;
    QLineEdit* round1_ = nullptr;
    QLineEdit* round2_ = nullptr;
    QLineEdit* tens_ = nullptr;
    QLineEdit* xs_ = nullptr;
    QLabel* message_ = nullptr;
    QPlainTextEdit* card_ = nullptr;
};

// The verify command's window until it is closed.
int runVerifyWindow(int& argc, char** argv, db::Connection& connection, const std::string& who);
