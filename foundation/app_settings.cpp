#include "foundation/database.h"

namespace {

// The APPSETTINGS table is made with the other registered tables at start.
[[maybe_unused]] const bool g_registered = (LAppDatabaseAccount::RegisterCreateStatement(
                               u"CREATE TABLE [db].APPSETTINGS(SECTION VARCHAR(40), ITEM VARCHAR(40), VALUE TEXT, "
                               u"UPDATED VARCHAR(20), PRIMARY KEY (SECTION, ITEM));"),
                           true);

}  // namespace
