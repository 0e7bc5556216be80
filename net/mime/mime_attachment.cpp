// Attachment records of the MIME parser: the decoded bytes and a file name
// that is safe to create.
#include <cstring>
#include <new>

#include "foundation/files_path.h"
#include "net/mime/mime_lines.h"
#include "net/mime/mime_message.h"

namespace {

void CopyField(char16_t out[260], std::u16string_view s) {
    size_t n = s.size() < 259 ? s.size() : 259;
    if (n) std::memcpy(out, s.data(), n * sizeof(char16_t));
    out[n] = 0;
}

void MakeFileName(std::u16string_view contentType, std::u16string_view disposition, std::u16string_view contentId,
                  char16_t out[260]) {
    char16_t name[260] = {};
    if (disposition.empty() || !EMLMimeHeaderParam(disposition, u"filename", name, true) || !name[0])
        EMLMimeHeaderParam(contentType, u"name", name, true);
    std::u16string_view n = name;
    std::u16string made;
    if (n.empty()) {
        std::u16string_view base;
        size_t lt = contentId.find(u'<');
        if (lt != contentId.npos) {
            size_t gt = contentId.find(u'>', lt + 1);
            base = contentId.substr(lt + 1, gt == contentId.npos ? gt : gt - lt - 1);
        }
        if (base.empty()) base = u"InlineContent";
        std::u16string_view ext;
        size_t slash = contentType.find(u'/');
        if (slash != contentType.npos) {
            ext = contentType.substr(slash + 1);
            size_t end = 0;
            while (end < ext.size() && ext[end] != u';' && ext[end] > u' ') ++end;
            ext = ext.substr(0, end);
        }
        made.append(base).append(u".").append(ext);
        n = made;
    }
    if (n.size() >= 2 && n[1] == u':' && n.size() == 2) n = {};
    size_t cut = n.find_last_of(u"/\\");
    if (cut != n.npos) n = n.substr(cut + 1);
    char16_t field[260];
    CopyField(field, n);
    LMakeValidFileName(field, out);
}

}  // namespace

EMLMimeAttachment* EMLMimeAddAttachment(std::string_view body, std::u16string_view contentType,
                                        std::u16string_view transferEncoding, std::u16string_view disposition,
                                        std::u16string_view contentId) {
    // The data is the decoded bytes exactly as sent, whatever the type: a
    // text attachment is a file, not text to re-encode.
    LStringA decoded;
    std::string_view bytes;
    if (LMimeStartsNoCase(transferEncoding, "quoted")) {
        EMLMimeDecodeQuotedPrintable(body, decoded, false);
        bytes = decoded.View();
    } else if (LMimeStartsNoCase(transferEncoding, "base64")) {
        EMLMimeDecodeBase64(body, decoded);
        bytes = decoded.View();
    } else if (transferEncoding.empty() || LMimeEqualsNoCase(transferEncoding, "7bit") ||
               LMimeEqualsNoCase(transferEncoding, "8bit") || LMimeEqualsNoCase(transferEncoding, "binary")) {
        bytes = body;
    } else {
        return nullptr;
    }
    EMLMimeAttachment* a = new (std::nothrow) EMLMimeAttachment;
    if (!a) return nullptr;
    if (!bytes.empty()) {
        if (!a->data.Reallocate(bytes.size())) {
            delete a;
            return nullptr;
        }
        std::memcpy(a->data.block, bytes.data(), bytes.size());
    }
    a->size = int64_t(bytes.size());
    CopyField(a->contentId, contentId);
    size_t typeEnd = 0;
    while (typeEnd < contentType.size() && contentType[typeEnd] != u';' && contentType[typeEnd] > u' ') ++typeEnd;
    CopyField(a->contentType, contentType.substr(0, typeEnd));
    MakeFileName(contentType, disposition, contentId, a->fileName);
    return a;
}
