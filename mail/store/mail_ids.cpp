#include "mail/store/mail_ids.h"

#include "foundation/log.h"
#include "foundation/system_random.h"
#include "foundation/lstring.h"

namespace {

void DrawLetters(char16_t* out, size_t n) { LRandomLowercase(out, n); }

}  // namespace

bool LEmailNewRowId(LAppDatabaseAccount& db, const char16_t* table, char16_t out[LEmailIdLength + 1],
                    LEmailIdDraw draw) {
    if (!draw) draw = DrawLetters;
    for (int i = 0; i < LEmailIdMaxDraws; ++i) {
        draw(out, LEmailIdLength);
        out[LEmailIdLength] = 0;
        int64_t taken = 0;
        LString q;
        q.Format(u"SELECT COUNT(*) FROM %s.%s WHERE ID='%Q';", u"main", table, out);
        if (!db.QueryInt64(q.c_str(), &taken)) break;
        if (taken == 0) return true;
    }
    out[0] = 0;
    LLogErrorF("Unable to find a free ID for a new row of %s", LToUtf8(table).c_str());
    return false;
}
