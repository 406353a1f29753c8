#include "data/archer_names_select.h"

std::string archerNamesColumns()
{
    return "a.ARCHERID, a.LANENO, a.LANELETTER, a.LANE, a.NAME, a.SEX, c.NAME as COUNTRY,"
           " b.DESCRIPTION as BOWTYPE, g.DESCRIPTION as AGECLASS, k.DESCRIPTION as SHOOTINGCLASS";
}

std::string archerNamesFrom()
{
    return "from ARCHER a left join COUNTRY c on c.COUNTRYNUMBER = a.COUNTRYNUMBER"
           " left join BOWTYPES b on b.TYPENO = a.BOWTYPE"
           " left join AGECLASS g on g.AGECLASSNO = a.AGECLASSNO"
           " left join SHOOTINGCLASSES k on k.SHOOTINGCLASSNO = a.SHOOTINGCLASS";
}
