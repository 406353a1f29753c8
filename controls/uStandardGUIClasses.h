#pragma once
// The score entry controls: the round panel, the arrow box and the sum box,
// the rule that reads a box's text as points, and the sum calculation.
// A box's value is its text; the controls keep no score of their own.

#include "core/integer_text.h"

#include <QColor>
#include <QFrame>
#include <QLineEdit>
#include <QList>

#include <cstdint>
#include <functional>

class TSumEdit;

// A raised panel holding the boxes of one round.
class TRoundPanel : public QFrame {
    Q_OBJECT
public:
    explicit TRoundPanel(QWidget* parent = nullptr);

    std::int32_t RoundNo = 0;
};

// The boxes' common base: a single-line edit box that announces every real
// change of its text, typed or written by the program, through OnChange.
// Writing the text it already holds announces nothing.
class TScoreEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TScoreEdit(QWidget* parent = nullptr);

signals:
    void OnChange(QObject* Sender);

protected:
    // Boxes without the platform frame get a flat one-pixel border.
    void paintEvent(QPaintEvent* event) override;
};

// The edit box of one arrow. A text that no arrow can score shows in
// ImpossibleArrowColour with a tool tip saying what an arrow is.
class TPointEdit : public TScoreEdit {
    Q_OBJECT
public:
    // Takes the round number of a round panel parent; any other parent leaves 0.
    explicit TPointEdit(QWidget* parent = nullptr);

    // The text is X, 10 to 0, M or empty.
    bool HoldsArcheryValue() const;

    bool ChangedByUser = false;          // set by the form's key filter
    std::int32_t RoundNo = 0;
    std::int32_t ArrowNo = 0;
    TSumEdit* sumEdit = nullptr;         // the end sum this arrow feeds; not owned

protected:
    // Focus by keyboard or by the program selects the whole text, so the next
    // typed character replaces it; a mouse click places the cursor as usual.
    void focusInEvent(QFocusEvent* event) override;
};

// A read-only box showing the sum of the boxes in its list.
class TSumEdit : public TScoreEdit {
    Q_OBJECT
public:
    explicit TSumEdit(QWidget* parent = nullptr);

    QList<QLineEdit*> sumOfList;         // the boxes it adds, in order; not owned
    TSumEdit* sumEdit = nullptr;         // the next sum up; null at the top

    // Writes the total of sumOfList as decimal text. An arrow box whose text
    // no arrow can score counts nothing; on an unreadable sum box the error
    // goes to the caller and the text stays as it was.
    void CalculateSum();
};

// "X"/"x" give 10, "M"/"m" and the empty text 0, integer text its integer;
// anything else raises EConvertError "'<text>' is not a valid integer value".
std::int32_t PointTextToValue(const QString& text);

// The texts an arrow box may hold: "X"/"x", "10" down to "1", "0" and
// "M"/"m" for a miss, and the empty text for an arrow not yet shot.
bool IsArcheryValue(const QString& text);

// What an arrow box may hold, for the operator.
inline constexpr const char* ArcheryValuesText = "an arrow is X, 10 to 1, M or empty";
// The background of an arrow box whose text no arrow can score.
inline constexpr QColor ImpossibleArrowColour(0xFF, 0xA0, 0xA0);

// Round, then arrow: negative, zero or positive.
std::int32_t ComparePointEdits(const TPointEdit* a, const TPointEdit* b);

// Hands every typed character of the watched widgets to a handler before the
// widget takes it. The handler sets the character to 0 to drop it. Keys that
// type nothing (cursor keys, Delete, function keys) pass by unseen.
class TKeyPressFilter : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(QObject* Sender, char16_t& Key)>;
    TKeyPressFilter(Handler handler, QObject* parent);

    // The character a key press types: backspace 8, Enter 13, control
    // characters as their codes, 0 when the key types nothing.
    static char16_t TypedCharacter(const QKeyEvent* event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Handler handler_;
};
