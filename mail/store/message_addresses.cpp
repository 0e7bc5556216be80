#include <string>

#include "foundation/format.h"
#include "foundation/log.h"
#include "mail/store/message_store.h"
#include "net/mime/address.h"

namespace {

// A header of mail from the internet may list any number of items; rows
// beyond this many per header are not written (the header text is kept).
constexpr int kMaxItems = 10000;
constexpr size_t kMaxAddressChars = 259;

bool IsSpace(char16_t c) { return c == u' '; }

std::u16string_view Trim(std::u16string_view s, bool (*blank)(char16_t)) {
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool AtOrBelowSpace(char16_t c) { return c <= u' '; }

// The address of one item, lower-cased (ASCII letters only).
std::u16string AddressOf(std::u16string_view item) {
    std::u16string_view a = item;
    size_t open = item.find(u'<');
    if (open != item.npos) {
        size_t close = item.find(u'>', open + 1);
        if (close != item.npos) a = item.substr(open + 1, close - open - 1);
    }
    std::u16string out(Trim(a.substr(0, kMaxAddressChars), IsSpace));
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
    return out;
}

}  // namespace

void LEmailSplitDisplayName(std::u16string_view item, std::u16string_view address, LString& name) {
    name.Clear();
    std::u16string_view n = Trim(item.substr(0, item.find(u'<')), IsSpace);
    if (!n.empty() && n.front() == u'"') {
        size_t close = n.find(u'"', 1);
        if (close != n.npos) {
            bool rest_blank = true;
            for (char16_t c : n.substr(close + 1)) rest_blank = rest_blank && AtOrBelowSpace(c);
            if (rest_blank) n = n.substr(1, close - 1);
        }
    }
    n = Trim(n, IsSpace);
    if (n == address) return;
    name.AppendView(n);
}

namespace {

// A header that lists thousands of items goes out in statements of this
// many rows, so that no one statement grows without bound.
constexpr size_t kRowsPerStatement = 500;

// The address rows of one message, written by multi-row INSERTs (a single
// one for a usual message) rather than by a statement for each address.
class AddressRows {
public:
    AddressRows(LAppDatabaseAccount& db, const char16_t* row_id) : db_(db), row_id_(row_id) {}

    bool Add(const char16_t* kind, const char16_t* address, const char16_t* name, int ordinal) {
        if (rows_ == 0)
            LFormatEscToUtf8V(sql_, u"INSERT INTO %s.EMAIL_MESSAGE_ADDRESSES (MESSAGE_ID, KIND, EMAIL, "
                                    u"DISPLAY_NAME, ORDINAL) VALUES ",
                              u"main");
        else
            sql_.AppendChar(',');
        LFormatEscToUtf8V(sql_, u"('%Q', '%Q', '%Q', '%Q', %d)", row_id_, kind, address, name, ordinal);
        return ++rows_ < kRowsPerStatement || Flush();
    }

    bool Flush() {
        if (rows_ == 0) return true;
        sql_.AppendChar(';');
        bool written = db_.ExecA(sql_.c_str());
        sql_.Clear();
        rows_ = 0;
        return written;
    }

private:
    LAppDatabaseAccount& db_;
    const char16_t* row_id_;
    LStringA sql_;
    size_t rows_ = 0;
};

bool AddHeader(AddressRows& rows, const char16_t* kind, const char16_t* header) {
    std::u16string_view h = header ? header : u"";
    int ordinal = 0;
    bool quoted = false;
    int angle = 0;
    size_t start = 0;
    for (size_t i = 0; i <= h.size(); ++i) {
        if (i < h.size()) {
            char16_t c = h[i];
            if (quoted && c == u'\\' && i + 1 < h.size()) {
                ++i;  // an escaped character inside quotes
                continue;
            }
            if (c == u'"') quoted = !quoted;
            if (!quoted && c == u'<') ++angle;
            if (!quoted && c == u'>' && angle > 0) --angle;
            if (c != u',' || quoted || angle > 0) continue;
        }
        std::u16string_view item = Trim(h.substr(start, i - start), IsSpace);
        start = i + 1;
        if (item.empty()) continue;
        if (ordinal >= kMaxItems) {
            LLogWarningF("An address header lists more than %d items; the rest are not indexed", kMaxItems);
            return true;
        }
        std::u16string address = AddressOf(item);
        if (address.size() <= 320 && LEmailAddressIsValid(address.c_str())) {
            LString name;
            LEmailSplitDisplayName(item, address, name);
            if (!rows.Add(kind, address.c_str(), name.c_str(), ordinal)) return false;
        }
        ++ordinal;
    }
    return true;
}

}  // namespace

bool LEmailStoreAddress(LAppDatabaseAccount& db, const char16_t* row_id, const char16_t* kind,
                        const char16_t* header) {
    AddressRows rows(db, row_id);
    return AddHeader(rows, kind, header) && rows.Flush();
}

bool LEmailStoreAddresses(LAppDatabaseAccount& db, const char16_t* row_id, const char16_t* from,
                          const char16_t* to, const char16_t* cc, const char16_t* bcc, const char16_t* reply_to,
                          bool replace) {
    if (!row_id || !*row_id) return false;
    if (replace && !db.ExecF(u"DELETE FROM %s.EMAIL_MESSAGE_ADDRESSES WHERE MESSAGE_ID='%Q';", u"main", row_id))
        return false;
    const char16_t* kinds[] = {u"FROM", u"TO", u"CC", u"BCC", u"REPLYTO"};
    const char16_t* texts[] = {from, to, cc, bcc, reply_to};
    AddressRows rows(db, row_id);
    for (size_t i = 0; i < 5; ++i)
        if (!AddHeader(rows, kinds[i], texts[i])) return false;
    return rows.Flush();
}
