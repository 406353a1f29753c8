#include "controls/uStandardGUIClasses.h"

#include "core/round_arrow_order.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>

namespace {

constexpr int BoxWidth = 30;

// A flat, one-pixel border (drawn in paintEvent) instead of the platform's
// sunken frame.
void makeFlat(QLineEdit* box)
{
    box->setFrame(false);
    box->setTextMargins(2, 1, 1, 1);
}

} // namespace

TRoundPanel::TRoundPanel(QWidget* parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
}

TScoreEdit::TScoreEdit(QWidget* parent)
    : QLineEdit(parent)
{
    // textChanged fires for typing and for setText alike, and only when the
    // text really differs from the one shown.
    connect(this, &QLineEdit::textChanged, this, [this] { emit OnChange(this); });
}

void TScoreEdit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    if (hasFrame())
        return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

TPointEdit::TPointEdit(QWidget* parent)
    : TScoreEdit(parent)
{
    makeFlat(this);
    resize(BoxWidth, sizeHint().height());
    ChangedByUser = false;
    if (const auto* panel = qobject_cast<const TRoundPanel*>(parent))
        RoundNo = panel->RoundNo;
    // Composed input would bypass the key filter.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setEnabled(true);
    // A text typed over part of another, pasted or stored elsewhere may be
    // one that no arrow can score: the box shows it for what it is.
    connect(this, &QLineEdit::textChanged, this, [this, normal = palette()] {
        if (HoldsArcheryValue()) {
            setPalette(normal);
            setToolTip(QString());
        } else {
            QPalette marked = normal;
            marked.setColor(QPalette::Base, ImpossibleArrowColour);
            setPalette(marked);
            setToolTip(QLatin1String("No arrow scores \"") + text().left(12) + QLatin1String("\": ")
                       + QLatin1String(ArcheryValuesText));
        }
    });
}

bool TPointEdit::HoldsArcheryValue() const
{
    return IsArcheryValue(text());
}

void TPointEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    switch (event->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
    case Qt::OtherFocusReason:
        selectAll();
        break;
    default:
        break;
    }
}

TSumEdit::TSumEdit(QWidget* parent)
    : TScoreEdit(parent)
{
    setReadOnly(true);
    makeFlat(this);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::ToolTipBase));
    pal.setColor(QPalette::Text, pal.color(QPalette::ToolTipText));
    setPalette(pal);
    resize(BoxWidth, sizeHint().height());
    // Not a tab stop; a click may still focus it to copy the number.
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::ArrowCursor);
}

void TSumEdit::CalculateSum()
{
    // Wide enough that no list of 32-bit values can overflow it.
    std::int64_t total = 0;
    for (QLineEdit* box : sumOfList) {
        if (auto* arrow = qobject_cast<TPointEdit*>(box)) {
            if (arrow->HoldsArcheryValue())
                total += PointTextToValue(arrow->text());
        } else if (qobject_cast<TSumEdit*>(box)) {
            total += PointTextToValue(box->text());
        }
    }
    const QString sum = QString::number(total);
    if (sum != text()) // rewriting the same text would lay it out again
        setText(sum);
}

std::int32_t PointTextToValue(const QString& text)
{
    const QByteArray latin1 = text.toLatin1();
    const std::string_view bytes(latin1.constData(), static_cast<std::size_t>(latin1.size()));
    if (const auto value = TryStrToInt(bytes))
        return *value;
    if (text == QLatin1String("X") || text == QLatin1String("x"))
        return 10;
    if (text.isEmpty() || text == QLatin1String("m") || text == QLatin1String("M"))
        return 0;
    return StrToInt(bytes); // raises the conversion error for this text
}

bool IsArcheryValue(const QString& text)
{
    static const QStringList values{
        QString(), QStringLiteral("X"), QStringLiteral("x"), QStringLiteral("M"), QStringLiteral("m"),
        QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
        QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("9"),
        QStringLiteral("10"),
    };
    return values.contains(text);
}

std::int32_t ComparePointEdits(const TPointEdit* a, const TPointEdit* b)
{
    return CompareRoundThenArrow(*a, *b);
}

TKeyPressFilter::TKeyPressFilter(Handler handler, QObject* parent)
    : QObject(parent)
    , handler_(std::move(handler))
{
}

char16_t TKeyPressFilter::TypedCharacter(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods & (Qt::AltModifier | Qt::MetaModifier))
        return 0;
    switch (event->key()) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
        return 0;
    default:
        break;
    }
    if ((mods & Qt::ControlModifier) && event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z)
        return static_cast<char16_t>(event->key() - Qt::Key_A + 1);
    const QString text = event->text();
    if (text.isEmpty())
        return 0;
    const char16_t c = text.at(0).unicode();
    return (c < 32 || c == 127) ? 0 : c;
}

bool TKeyPressFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    char16_t key = TypedCharacter(static_cast<QKeyEvent*>(event));
    if (key == 0)
        return false;
    handler_(watched, key);
    return key == 0;
}
