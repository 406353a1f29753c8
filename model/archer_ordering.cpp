// The archer dataset in a given order, and the data context's archer list.

#include "data/uTallyonData.h"

#include "model/cursor_seam.h"
#include "model/uTallyonClasses.h"

void TdmTallyon::SortArchers(const std::string& orderBy)
{
    BusyCursor busy;
    if (IBQryArcher.state() == db::DataSetState::Edit || IBQryArcher.state() == db::DataSetState::Insert)
        IBQryArcher.post();
    IBQryArcher.close();
    IBQryArcher.sqlClear();
    IBQryArcher.sqlAdd("Select * from ARCHER");
    IBQryArcher.sqlAdd("ORDER BY " + orderBy);
    IBQryArcher.open();
    ReadArcherList();
}

void TdmTallyon::ReadArcherList()
{
    ArcherList.Clear();
    IBQryArcher.setFiltered(false);
    IBQryArcher.first();
    while (!IBQryArcher.eof()) {
        auto archer = std::make_unique<TArcher>();
        archer->dataset = &IBQryArcher;
        archer->ReadArcherInDatabase(-1, false, this);
        ArcherList.Add(std::move(archer));
        IBQryArcher.next();
    }
}
