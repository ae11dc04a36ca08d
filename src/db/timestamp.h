#pragma once
// The client's timestamps (days since 1858-11-17 and ten-thousandths of a second since midnight)
// as the system's date-time (days since 1899-12-30, time of day as the fraction), and the texts
// of dates and times used when a value is read or given in another type.
#include <firebird/Interface.h>

#include <string>
#include <string_view>

#include "util/datetime.h"

namespace qdz::db {

util::DateTime FromIscTimestamp(ISC_DATE date, ISC_TIME time);
ISC_TIMESTAMP ToIscTimestamp(util::DateTime value);

// "yyyy-mm-dd[ hh:nn[:ss[.fff]]]" or "dd.mm.yyyy[ hh:nn[:ss[.fff]]]", blanks around allowed;
// anything else fails with util::ConvertError "'<text>' is not a valid date and time".
util::DateTime ParseDateTimeText(std::string_view text);

}  // namespace qdz::db
