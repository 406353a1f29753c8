// Bad input at volume: thousands of generated texts through the integer text
// rule and the point-text rule, and thousands of keys typed into the arrow
// boxes of a real window, each checked against a small model of the rule
// written here from its description. The seed is fixed, so a failure
// repeats; its message names the case.

#include "controls/uStandardGUIClasses.h"
#include "core/integer_text.h"
#include "forms/error_display.h"
#include "forms/uVuRudiCompetition.h"
#include "tests/support/competition.h"
#include "tests/support/expect_throw.h"

#include <QApplication>
#include <QScopeGuard>
#include <QTest>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace {

constexpr unsigned Seed = 20261208;
constexpr int TextCases = 20000;
constexpr int KeyCases = 10000;

// The integer text rule, told by counting significant digits rather than by
// watching an accumulator overflow.
std::optional<std::int32_t> modelInteger(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    std::string_view body = text.substr(i);

    const auto isDecimal = [](char c) { return c >= '0' && c <= '9'; };
    const auto isHex = [&](char c) { return isDecimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); };
    const auto significant = [](std::string_view digits) {
        const std::size_t first = digits.find_first_not_of('0');
        return first == std::string_view::npos ? std::string_view("0") : digits.substr(first);
    };

    std::string_view hex;
    bool hexForm = true;
    if (body.starts_with("0x") || body.starts_with("0X"))
        hex = body.substr(2);
    else if (body.starts_with('$') || body.starts_with('x') || body.starts_with('X'))
        hex = body.substr(1);
    else
        hexForm = false;

    if (hexForm) {
        if (hex.empty() || !std::all_of(hex.begin(), hex.end(), isHex) || significant(hex).size() > 8)
            return std::nullopt;
        const auto bits = static_cast<std::uint32_t>(std::stoul(std::string(hex), nullptr, 16));
        return static_cast<std::int32_t>(negative ? 0u - bits : bits);
    }
    if (body.empty() || !std::all_of(body.begin(), body.end(), isDecimal) || significant(body).size() > 10)
        return std::nullopt;
    const long long magnitude = std::stoll(std::string(significant(body)));
    const long long value = negative ? -magnitude : magnitude;
    if (value < -2147483648LL || value > 2147483647LL)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// The point-text rule: the integer first, then X and x, then empty, m and M.
std::optional<std::int32_t> modelPoints(std::string_view text)
{
    if (const auto value = modelInteger(text))
        return value;
    if (text == "X" || text == "x")
        return 10;
    if (text.empty() || text == "m" || text == "M")
        return 0;
    return std::nullopt;
}

class TextMaker {
public:
    explicit TextMaker(unsigned seed) : random_(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    template <typename T, std::size_t N>
    const T& pick(const T (&choices)[N]) { return choices[below(int(N))]; }

    // Mostly texts near the rule's edges, some plain noise.
    std::string text()
    {
        if (below(10) == 0)
            return noise();
        static const char* const spaces[] = {"", "", "", "", "", "", " ", "  ", "\t", "\xA0"};
        static const char* const signs[] = {"", "", "", "", "", "-", "-", "+", "--", "+-"};
        static const char* const hexPrefixes[] = {"$", "x", "X", "0x", "0X", "$$", "0"};
        static const char* const edges[] = {"2147483647", "2147483648", "2147483649", "4294967295", "FFFFFFFF",
                                            "7FFFFFFF", "80000000", "100000000", "0000000000FF", "00000000002147483647",
                                            "99999999999", "0", "00"};
        static const char* const tails[] = {"", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "",
                                            "", "", "", " ", "X", "x", "M", "g", "0", "\xE4", "$", "-"};
        static const char digits[] = "0123456789abcdefABCDEF";
        std::string out = pick(spaces);
        out += pick(signs);
        const bool hex = below(2) == 0;
        if (hex)
            out += pick(hexPrefixes);
        if (below(4) == 0) {
            out += pick(edges);
        } else {
            // Now and then hexadecimal digits in a decimal text.
            const int alphabet = hex || below(10) == 0 ? 22 : 10;
            for (int k = below(10) == 0 ? 0 : 1 + below(hex ? 9 : 10); k > 0; --k)
                out += digits[below(alphabet)];
        }
        out += pick(tails);
        return out;
    }

    // Point texts: the forms a box shows, their near misses, and the rest.
    std::string pointText()
    {
        static const char* const forms[] = {"X", "x", "M", "m", "", "10", "1", "0", "9", " X", "XX", "mm", "9X",
                                            "X9", "M0", "x10", "Xx", " ", "m "};
        return below(3) == 0 ? std::string(pick(forms)) : text();
    }

private:
    std::string noise()
    {
        std::string out;
        for (int k = below(6); k > 0; --k)
            out += static_cast<char>(below(256));
        return out;
    }

    std::mt19937 random_;
};

QString latin1(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

// The conversion error's message as a C string carries it: cut at a NUL byte.
std::string conversionMessage(const std::string& text)
{
    return std::string(("'" + text + "' is not a valid integer value").c_str());
}

QByteArray shown(const std::string& bytes)
{
    return QByteArray(bytes.data(), qsizetype(bytes.size())).toPercentEncoding(" $+-");
}

} // namespace

class TestRandomInput : public QObject {
    Q_OBJECT
private slots:
    void integerTextRule();
    void pointTextRule();
    void keysIntoArrowBoxes();
};

void TestRandomInput::integerTextRule()
{
    TextMaker maker(Seed);
    int readable = 0;
    for (int n = 0; n < TextCases; ++n) {
        const std::string text = maker.text();
        const std::optional<std::int32_t> expected = modelInteger(text);
        const QByteArray what = "case " + QByteArray::number(n) + ": '" + shown(text) + "'";
        QVERIFY2(TryStrToInt(text) == expected, what.constData());
        if (expected) {
            ++readable;
            QVERIFY2(StrToInt(text) == *expected, what.constData());
        } else {
            QVERIFY2(expectThrowExactly<EConvertError>([&] { StrToInt(text); }, conversionMessage(text)),
                     what.constData());
        }
    }
    // The texts reach both sides of the rule.
    QVERIFY2(readable > TextCases / 5 && readable < TextCases * 4 / 5, qPrintable(QString::number(readable)));
}

void TestRandomInput::pointTextRule()
{
    TextMaker maker(Seed + 1);
    for (int n = 0; n < TextCases; ++n) {
        const std::string text = maker.pointText();
        const std::optional<std::int32_t> expected = modelPoints(text);
        const QByteArray what = "case " + QByteArray::number(n) + ": '" + shown(text) + "'";
        if (expected) {
            QVERIFY2(PointTextToValue(latin1(text)) == *expected, what.constData());
        } else {
            QVERIFY2(expectThrowExactly<EConvertError>([&] { PointTextToValue(latin1(text)); },
                                                       conversionMessage(text)),
                     what.constData());
        }
    }
}

// Each case gives a random arrow box a readable text and a selection or a
// cursor place, types one key, and compares the box, its end sum and the
// grand total with what the key filter and the edit box should make of it.
void TestRandomInput::keysIntoArrowBoxes()
{
    TestCompetition competition;
    auto dm = competition.seededContext(
        {"insert into ARCHER (ARCHERID, NAME, LANE, LANENO, LANELETTER) values (1, 'Ann', '1A', 1, 'A')"});
    QStringList errors;
    SetErrorHandler([&](const QString& message) { errors << message; });
    const auto resetHandler = qScopeGuard([] { SetErrorHandler({}); });
    auto form = std::make_unique<TfrmVuRudiCompetition>(dm.get());
    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    // Every sum calculated once, so that each shows a number from the start.
    for (TPointEdit* box : std::as_const(form->PointEdits)) {
        box->setText(QStringLiteral("0"));
        box->setText(QString());
    }

    static const char* const starts[] = {"", "", "", "1", "10", "9", "0", "X", "x", "M", "m", "5", "01", "19", "x1"};
    static const char16_t keys[] = {u'0', u'1', u'5', u'9', u'X', u'x', u'M', u'm', u'\b', u'\b', u'a', u'Z',
                                    u' ', u'-', u'+', u'$', u'.', u'\u00E4', u'\u20AC', u'0', u'x'};
    TextMaker random(Seed + 2);
    int dropped = 0;
    int unreadable = 0;
    for (int n = 0; n < KeyCases; ++n) {
        TPointEdit* box = form->PointEdits.at(random.below(60));
        const QString before = QLatin1String(random.pick(starts));
        box->setFocus(Qt::OtherFocusReason);
        box->setText(before);
        int selectionStart = 0;
        int selectionLength = 0;
        int cursor = before.size();
        switch (random.below(3)) {
        case 0:
            box->selectAll();
            selectionLength = before.size();
            break;
        case 1:
            selectionStart = random.below(before.size() + 1);
            selectionLength = random.below(before.size() - selectionStart + 1);
            box->setSelection(selectionStart, selectionLength);
            cursor = selectionStart + selectionLength;
            break;
        default:
            cursor = random.below(before.size() + 1);
            box->deselect();
            box->setCursorPosition(cursor);
        }
        const bool selected = selectionLength > 0;
        box->ChangedByUser = false;
        form->Changed = false;
        errors.clear();

        const char16_t key = random.pick(keys);
        const bool backspace = key == u'\b';
        const bool archeryKey = (key >= u'0' && key <= u'9') || key == u'X' || key == u'x' || key == u'M' || key == u'm';
        bool passes = backspace;
        if (before.isEmpty() || selected)
            passes = backspace || archeryKey;
        else if (before == QLatin1String("1"))
            passes = backspace || key == u'0';

        if (!passes)
            ++dropped;
        QString after = before;
        if (passes && selected)
            after.remove(selectionStart, selectionLength);
        if (passes && backspace && !selected && cursor > 0)
            after.remove(cursor - 1, 1);
        if (passes && !backspace)
            after.insert(selected ? selectionStart : cursor, QChar(key));

        if (backspace)
            QTest::keyClick(box, Qt::Key_Backspace);
        else if (key < 128)
            QTest::keyClicks(box, QString(QChar(key)));
        else
            QTest::sendKeyEvent(QTest::Click, box, key == u'\u00E4' ? Qt::Key_Adiaeresis : Qt::Key_unknown,
                                QString(QChar(key)), Qt::NoModifier);

        const QByteArray what = "case " + QByteArray::number(n) + ": '" + before.toUtf8() + "' selected "
            + QByteArray::number(selectionStart) + "+" + QByteArray::number(selectionLength) + ", cursor "
            + QByteArray::number(cursor) + ", key " + QString(QChar(key)).toUtf8();
        QVERIFY2(box->text() == after, (what + " gave '" + box->text().toUtf8() + "'").constData());
        QVERIFY2(box->ChangedByUser && form->Changed, what.constData());
        // A box counts in the sums only with a value an arrow can have
        // (X, 10 to 1, M or empty); anything else, typed over part of a
        // text, counts nothing until the move refuses it.
        static const QStringList arrowValues{"",  "X", "x", "10", "9", "8", "7", "6", "5",
                                             "4", "3", "2", "1",  "M", "m"};
        const bool arrowValue = arrowValues.contains(after);
        if (!arrowValue)
            ++unreadable;
        const std::int32_t points = arrowValue ? *modelPoints(after.toLatin1().toStdString()) : 0;
        QVERIFY2(errors.isEmpty(), (what + ": " + errors.join(u'\n').toUtf8()).constData());
        QVERIFY2(box->sumEdit->text() == QString::number(points),
                 (what + " sum " + box->sumEdit->text().toUtf8()).constData());
        QVERIFY2(form->SumEdit17->text() == QString::number(points), what.constData());
        box->setText(QString());
    }
    // The keys reach every outcome.
    QVERIFY2(dropped > KeyCases / 10 && dropped < KeyCases * 9 / 10, qPrintable(QString::number(dropped)));
    QVERIFY2(unreadable > 0, "no key made a text that is not an arrow's value");
}

QTEST_MAIN(TestRandomInput)
#include "tst_random_input.moc"
