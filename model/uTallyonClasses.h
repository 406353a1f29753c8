#pragma once
// The archer model: one archer of the competition with the arrows of the
// indoor round and the statistics counted from them, its reading from and
// saving to the competition database, and the exceptions it raises.

#include "data/object_list.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace db { class Query; }
class TdmTallyon;

// The plain object root of the arrow and round records.
class TObject {};

// One arrow of one archer. A new point has every field zero or false.
class TArcheryPoint : public TObject {
public:
    bool Cross = false;         // entered as "X": a ten that counts as a cross
    std::int32_t Point = 0;     // the score; 0 for a miss and for an empty box
    std::int32_t ArrowNo = 0;   // 1 to ArrowsPerRound within the round
    std::int32_t RoundNo = 0;   // 1 to RoundCount (core/round_format.h)
    bool EmptyScore = false;    // nothing entered for the arrow yet

    void setCross(bool v) { Cross = v; }
    void setPoint(std::int32_t v) { Point = v; }
    void setArrowNo(std::int32_t v) { ArrowNo = v; }
    void setRoundNo(std::int32_t v) { RoundNo = v; }
    void setEmptyScore(bool v) { EmptyScore = v; }
};

// The sum of one round.
class TRoundPoints : public TObject {
public:
    std::int32_t Points = 0;
    std::int32_t RoundNo = 0;

    void setPoints(std::int32_t v) { Points = v; }
    void setRoundNo(std::int32_t v) { RoundNo = v; }
};

// The family of the archer model's errors; each carries only its message.
class EArcherError : public std::runtime_error {
public:
    explicit EArcherError(const std::string& message = std::string()) : std::runtime_error(message) {}
};
class ENoDataSetError : public EArcherError { public: using EArcherError::EArcherError; };
class EEmptyDataSetError : public EArcherError { public: using EArcherError::EArcherError; };
class EArcherDBError : public EArcherError { public: using EArcherError::EArcherError; };
// Another database user holds the arrows being saved; the save was undone.
class EOtherUserError : public EArcherError { public: using EArcherError::EArcherError; };
// Another station stored other values for arrows this operator changed as
// well; nothing of the archer was saved. The message lists each arrow with
// its stored and its typed value; the next save stores the typed values.
class EArrowConflictError : public EArcherError { public: using EArcherError::EArcherError; };
// The archer's row is gone from the competition (another station removed
// the archer): nothing was saved. The message names the archer.
class EArcherRemovedError : public EArcherError { public: using EArcherError::EArcherError; };

class TArcher : public TComponent {
public:
    TArcher() = default;
    ~TArcher() override;
    TArcher(const TArcher&) = delete;
    TArcher& operator=(const TArcher&) = delete;

    std::int32_t ID = 0;            // ARCHERID; -1 after Clear, 0 until the first read
    std::string Name;               // text properties hold ISO 8859-1 bytes
    std::string Lane;
    std::string oldLane;            // restored into Lane by cancelRangeChange
    std::string Country;
    std::string BowType;
    std::string AgeClass;
    std::string ShootingClass;
    bool canAdvanceToFinals = false;
    bool canBeOnTeam = false;
    std::string UserDefined1;
    std::string UserDefined2;
    std::string sex;
    db::Query* dataset = nullptr;        // the archer dataset; not owned
    db::Query* pointsDataset = nullptr;  // the points query; not owned
    std::vector<std::unique_ptr<TArcheryPoint>> Results;   // round, then arrow order after a read
    // Statistics: only FillStatistics computes them.
    std::int32_t TotalPoints = 0;
    std::vector<std::unique_ptr<TRoundPoints>> RoundPoints;
    std::int32_t Hits = 0;
    std::int32_t Crosses = 0;
    std::int32_t Tens = 0;
    std::int32_t Nines = 0;
    std::int32_t Eights = 0;
    std::int32_t Sevens = 0;
    std::int32_t Sixes = 0;
    std::int32_t Fives = 0;
    std::int32_t Fours = 0;
    std::int32_t Threes = 0;
    std::int32_t Twos = 0;
    std::int32_t Ones = 0;

    // ID -1, the texts and flags emptied, Results emptied; the dataset links
    // and the statistics stay.
    void Clear();
    // Empties Results; always true.
    bool ClearResults();
    void cancelRangeChange() { Lane = oldLane; }
    // Recounts the statistics from Results.
    void FillStatistics();

    // Reads the archer from the archer dataset's current row (archerNo -1)
    // or the row with that ARCHERID, and its arrows when readPoints is set.
    // The lookups are those of dm (the unit-wide dmTallyon when null). A
    // failure is an EArcherDBError that carries the error behind it as a
    // nested exception (a lost connection stays recognisable).
    void ReadArcherInDatabase(std::int32_t archerNo, bool readPoints, TdmTallyon* dm);
    // Replaces Results with the arrows stored for ID.
    void ReadPointsInDatabase();
    // Writes the arrows of Results in one transaction of the points query,
    // all or none. An arrow is written when the operator changed it since it
    // was read, or when its stored row still holds what was read; an arrow
    // another station changed and this operator did not keeps the stored
    // value, which Results then takes. Arrows of an archer whose arrows were
    // never read are all written as they are. Where Results holds one arrow
    // twice, the later one is saved. EOtherUserError when another user
    // holds one of the arrows, EArrowConflictError when both changed the
    // same arrow, EArcherRemovedError when the archer's row is gone; any
    // other error rolls the whole save back and passes on.
    void savePoints();
    // Called with ID after a save of the arrows has committed (not after a
    // save that stored nothing: a conflict, a lock, a failure).
    std::function<void(std::int32_t archerId)> OnPointsSaved;
    // Takes asRead as the arrow's value when it was read, the base a save
    // merges against: for arrows typed at an earlier run, which another
    // station may have changed since.
    void TakeValueAsRead(std::int32_t round, std::int32_t arrow, const TArcheryPoint& asRead);

    // Writes Lane into the archer's row; false when no row has ID.
    bool SaveLaneToDatabase();

    // Exchanges everything the archer holds (its data, arrows, statistics
    // and what was read) with other; the dataset links stay.
    void SwapRecord(TArcher& other) noexcept;

private:
    // An arrow's stored columns; a missing row counts as an empty arrow.
    struct ArrowValue {
        std::int32_t Point = 0;
        bool Cross = false;
        bool EmptyScore = true;
        friend bool operator==(const ArrowValue&, const ArrowValue&) = default;
    };
    using ArrowKey = std::pair<std::int32_t, std::int32_t>;   // round, arrow
    static ArrowValue valueOf(const TArcheryPoint& point);
    ArrowValue loadedValue(const ArrowKey& key) const;

    // The steps of savePoints, in their order (archer_persistence.cpp).
    struct SavePlan;
    void openStoredArrows(db::Query& points);
    void sortTypedArrows(db::Query& points, SavePlan& plan);
    bool archerMayBeGone() const;
    void makeSureArcherIsThere(db::Query& points);
    [[noreturn]] void throwArcherRemoved() const;
    void writeArrows(db::Query& points, const SavePlan& plan);
    void sendChangedArrows(db::Query& points, const SavePlan& plan);
    void commitSave(db::Query& points);
    [[noreturn]] void reportConflicts(db::Query& points, const SavePlan& plan);
    void takeSavedAsBase(const SavePlan& plan);

    // The baseline of each arrow: as read, then as this station wrote it;
    // after a conflict, the stored value the operator was told about.
    std::map<ArrowKey, ArrowValue> loaded_;
    // Another station's value that a save kept and Results took: a box
    // showing it is no change of the operator's either.
    std::map<ArrowKey, ArrowValue> kept_;
    // The ID whose arrows loaded_ holds; none until the arrows are read.
    std::optional<std::int32_t> readFor_;
    // The ID whose row of the archer dataset was read.
    std::optional<std::int32_t> rowReadFor_;
};

// Round, then arrow, ascending: negative puts a before b.
std::int32_t CompareArcheryPoints(const TArcheryPoint& a, const TArcheryPoint& b);
// True when the text passes the integer text rule.
bool IsNumeric(const std::string& text);
