// The base of arrows typed at an earlier run, as that run read them.

#include "model/uTallyonClasses.h"

void TArcher::TakeValueAsRead(std::int32_t round, std::int32_t arrow, const TArcheryPoint& asRead)
{
    loaded_[{round, arrow}] = valueOf(asRead);
    kept_.erase({round, arrow});
    readFor_ = ID;
}
