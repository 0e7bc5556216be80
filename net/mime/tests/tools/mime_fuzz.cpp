// libFuzzer entry: any byte sequence must parse without a fault, and every
// attachment must own as many bytes as it claims.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "net/mime/mime_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EMLMimeMessage m;
    m.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    volatile uint64_t sum = m.text.length + m.html.length;
    for (const EMLMimeAttachment* a = m.attachments; a; a = a->next) {
        if (a->size > 0) sum = sum + static_cast<const uint8_t*>(a->data.block)[a->size - 1];
        sum = sum + std::char_traits<char16_t>::length(a->fileName);
    }
    LString v;
    m.GetHeader(u"date", v);
    sum = sum + uint64_t(LEmailParseDate(v.View()));
    (void)sum;
    return 0;
}
