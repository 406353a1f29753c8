#include "model/uTallyonClasses.h"

#include "core/integer_text.h"
#include "core/round_arrow_order.h"

#include <algorithm>
#include <utility>

TArcher::~TArcher() = default;

void TArcher::Clear()
{
    ID = -1;
    Name.clear();
    Lane.clear();
    oldLane.clear();
    Country.clear();
    BowType.clear();
    AgeClass.clear();
    ShootingClass.clear();
    canAdvanceToFinals = false;
    canBeOnTeam = false;
    UserDefined1.clear();
    UserDefined2.clear();
    sex.clear();
    Results.clear();
    loaded_.clear();
    kept_.clear();
    readFor_.reset();
    rowReadFor_.reset();
}

void TArcher::SwapRecord(TArcher& other) noexcept
{
    using std::swap;
    swap(ID, other.ID);
    swap(Name, other.Name);
    swap(Lane, other.Lane);
    swap(oldLane, other.oldLane);
    swap(Country, other.Country);
    swap(BowType, other.BowType);
    swap(AgeClass, other.AgeClass);
    swap(ShootingClass, other.ShootingClass);
    swap(canAdvanceToFinals, other.canAdvanceToFinals);
    swap(canBeOnTeam, other.canBeOnTeam);
    swap(UserDefined1, other.UserDefined1);
    swap(UserDefined2, other.UserDefined2);
    swap(sex, other.sex);
    swap(Results, other.Results);
    swap(TotalPoints, other.TotalPoints);
    swap(RoundPoints, other.RoundPoints);
    swap(Hits, other.Hits);
    swap(Crosses, other.Crosses);
    swap(Tens, other.Tens);
    swap(Nines, other.Nines);
    swap(Eights, other.Eights);
    swap(Sevens, other.Sevens);
    swap(Sixes, other.Sixes);
    swap(Fives, other.Fives);
    swap(Fours, other.Fours);
    swap(Threes, other.Threes);
    swap(Twos, other.Twos);
    swap(Ones, other.Ones);
    swap(loaded_, other.loaded_);
    swap(kept_, other.kept_);
    swap(readFor_, other.readFor_);
    swap(rowReadFor_, other.rowReadFor_);
}

bool TArcher::ClearResults()
{
    Results.clear();
    return true;
}

void TArcher::FillStatistics()
{
    TotalPoints = Hits = Crosses = 0;
    Tens = Nines = Eights = Sevens = Sixes = Fives = Fours = Threes = Twos = Ones = 0;
    RoundPoints.clear();

    std::int32_t* const byValue[] = {&Ones, &Twos, &Threes, &Fours, &Fives, &Sixes, &Sevens, &Eights, &Nines, &Tens};
    for (const auto& point : Results) {
        TotalPoints += point->Point;
        if (point->Point > 0)
            ++Hits;
        if (point->Cross)
            ++Crosses;
        if (point->Point >= 1 && point->Point <= 10)
            ++*byValue[point->Point - 1];

        const auto round = std::find_if(RoundPoints.begin(), RoundPoints.end(),
                                        [&](const auto& r) { return r->RoundNo == point->RoundNo; });
        if (round != RoundPoints.end()) {
            (*round)->Points += point->Point;
        } else {
            auto entry = std::make_unique<TRoundPoints>();
            entry->RoundNo = point->RoundNo;
            entry->Points = point->Point;
            RoundPoints.push_back(std::move(entry));
        }
    }
}

std::int32_t CompareArcheryPoints(const TArcheryPoint& a, const TArcheryPoint& b)
{
    return CompareRoundThenArrow(a, b);
}

bool IsNumeric(const std::string& text)
{
    return TryStrToInt(text).has_value();
}
