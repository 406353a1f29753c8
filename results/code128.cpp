#include "results/code128.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <numeric>

namespace {

constexpr int kStartB = 104;
constexpr int kStartC = 105;
constexpr int kStop = 106;
constexpr int kQuietModules = 10;

// Bar, space, bar, space, bar, space widths of each symbol value; the stop
// has a seventh, a last bar.
constexpr std::array<const char*, 107> kPatterns = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212", "221213",
    "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221", "223211", "221132",
    "221231", "213212", "223112", "312131", "311222", "321122", "321221", "312212", "322112", "322211",
    "212123", "212321", "232121", "111323", "131123", "131321", "112313", "132113", "132311", "211313",
    "231113", "231311", "112133", "112331", "132131", "113123", "113321", "133121", "313121", "211331",
    "231131", "213113", "213311", "213131", "311123", "311321", "331121", "312113", "312311", "332111",
    "314111", "221411", "431111", "111224", "111422", "121124", "121421", "141122", "141221", "112214",
    "112412", "122114", "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111",
    "111242", "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311", "113141",
    "114131", "311141", "411131", "211412", "211214", "211232", "2331112"};

bool allDigits(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::vector<int> code128Symbols(const std::string& text)
{
    if (text.empty())
        return {};
    std::vector<int> symbols;
    if (allDigits(text) && text.size() % 2 == 0) {
        symbols.push_back(kStartC);
        for (std::size_t i = 0; i < text.size(); i += 2)
            symbols.push_back((text[i] - '0') * 10 + (text[i + 1] - '0'));
    } else {
        symbols.push_back(kStartB);
        for (const char c : text) {
            if (c < 32 || c > 126)
                return {};
            symbols.push_back(c - 32);
        }
    }
    // The check digit: the start's value plus each data value times its place.
    long sum = symbols.front();
    for (std::size_t i = 1; i < symbols.size(); ++i)
        sum += long(i) * symbols[i];
    symbols.push_back(int(sum % 103));
    return symbols;
}

std::vector<int> code128Widths(const std::vector<int>& symbols)
{
    std::vector<int> widths;
    const auto add = [&](int value) {
        for (const char* w = kPatterns[std::size_t(value)]; *w; ++w)
            widths.push_back(*w - '0');
    };
    for (const int s : symbols)
        add(s);
    if (!symbols.empty())
        add(kStop);
    return widths;
}

bool drawCode128(QPainter& painter, const QRectF& rect, const std::string& text)
{
    const std::vector<int> widths = code128Widths(code128Symbols(text));
    if (widths.empty())
        return false;
    const int modules = std::accumulate(widths.begin(), widths.end(), 0) + 2 * kQuietModules;
    const qreal module = rect.width() / modules;
    qreal x = rect.left() + kQuietModules * module;
    bool bar = true;
    for (const int w : widths) {
        if (bar)
            painter.fillRect(QRectF(x, rect.top(), w * module, rect.height()), Qt::black);
        x += w * module;
        bar = !bar;
    }
    return true;
}
