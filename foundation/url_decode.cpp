#include "foundation/url_decode.h"

#include "foundation/utf8.h"

int LUrlHexValue(unsigned c) {
    if (c >= '0' && c <= '9') return int(c - '0');
    if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
    return 0;
}

namespace {

// Walks text up to a stop unit (or the end), handing each decoded byte and
// each plain unit to the callbacks; returns the units consumed. A stop unit
// of 0 reads the whole text.
template <class Ch, class OnByte, class OnUnit>
size_t Decode(const Ch* text, Ch stop1, Ch stop2, OnByte&& onByte, OnUnit&& onUnit) {
    if (!text) return 0;
    auto ends = [&](Ch c) { return !c || (stop1 && c == stop1) || (stop2 && c == stop2); };
    const Ch* p = text;
    while (!ends(*p)) {
        Ch c = *p;
        if (c == Ch('%')) {
            // A cut-off escape ends the field and is consumed; it never takes
            // the separator of the next field with it.
            if (ends(p[1])) {
                p += 1;
                break;
            }
            if (ends(p[2])) {
                p += 2;
                break;
            }
            unsigned byte = unsigned(LUrlHexValue(unsigned(p[1])) << 4) | unsigned(LUrlHexValue(unsigned(p[2])));
            p += 3;
            if (byte) onByte(static_cast<unsigned char>(byte));
            continue;
        }
        ++p;
        if (c == Ch('+'))
            onUnit(Ch(' '));
        else
            onUnit(c);
    }
    return static_cast<size_t>(p - text);
}

size_t DecodeNarrow(const char* text, char stop1, char stop2, LStringA& out) {
    out.Reserve(out.length + LStringMinCapacity);
    size_t n = Decode<char>(
        text, stop1, stop2, [&](unsigned char b) { out.PutUnit(static_cast<char>(b)); },
        [&](char c) { out.PutUnit(c); });
    out.Terminate();
    return n;
}

// Collects bytes of 0x80 and above until something else comes, then adds
// them as UTF-8.
template <class Put>
struct Utf8Run {
    Put put;
    LStringA run;
    void Byte(unsigned char b) {
        if (b < 0x80) {
            Flush();
            put(char16_t(b));
            return;
        }
        run.AppendChar(static_cast<char>(b));
    }
    void Unit(char16_t u) {
        Flush();
        put(u);
    }
    void Flush() {
        if (!run.length) return;
        LString wide;
        LStringAppendUtf8(wide, run.buffer, run.length);
        for (uint64_t i = 0; i < wide.length; ++i) put(wide.buffer[i]);
        run.Clear();
    }
};

template <class Put>
Utf8Run<Put> MakeRun(Put put) {
    return Utf8Run<Put>{put, {}};
}

}  // namespace

size_t LUrlDecodeQueryKey(const char* text, LStringA& out) { return DecodeNarrow(text, '=', '&', out); }

size_t LUrlDecodeQueryValue(const char* text, LStringA& out) { return DecodeNarrow(text, '&', '&', out); }

size_t LUrlDecodeToWide(const char* text, LString& out) {
    out.Reserve(out.length + LStringMinCapacity);
    auto run = MakeRun([&](char16_t u) { out.PutUnit(u); });
    // Unescaped bytes from 0x80 up are UTF-8 too: they join the run.
    size_t n = Decode<char>(
        text, 0, 0, [&](unsigned char b) { run.Byte(b); }, [&](char c) { run.Byte(static_cast<unsigned char>(c)); });
    run.Flush();
    out.Terminate();
    return n;
}

size_t LUrlDecodeFormValueW(const char16_t* text, LFormatBuffer& out) {
    auto run = MakeRun([&](char16_t u) { out.Put(u); });
    size_t n = Decode<char16_t>(
        text, 0, 0, [&](unsigned char b) { run.Byte(b); }, [&](char16_t u) { run.Unit(u); });
    run.Flush();
    out.Terminate();
    return n;
}

void LParseUrlEncodedForm(LStringMap& map, const char* text) {
    if (!text) return;
    LStringA name, value;
    LString wideName, wideValue;
    while (*text) {
        name.Clear();
        value.Clear();
        text += LUrlDecodeQueryKey(text, name);
        if (*text == '=') {
            ++text;
            text += LUrlDecodeQueryValue(text, value);
        }
        if (*text == '&') ++text;
        if (!name.length) continue;
        wideName.SetUtf8N(name.buffer, name.length);
        wideValue.SetUtf8N(value.c_str(), value.length);
        map.AddPair(wideName.c_str(), wideValue.c_str());
    }
}

void LParseUrlEncodedFormW(LStringMap& map, const char16_t* text) {
    if (!text) return;
    LString name, value;
    name.Reserve(8192);
    value.Reserve(8192);
    auto field = [&](LString& out, char16_t stop1, char16_t stop2) {
        out.Clear();
        size_t n = Decode<char16_t>(
            text, stop1, stop2, [&](unsigned char b) { out.PutUnit(b); }, [&](char16_t u) { out.PutUnit(u); });
        out.Terminate();
        text += n;
    };
    while (*text) {
        field(name, u'=', u'&');
        value.Clear();
        if (*text == u'=') {
            ++text;
            field(value, u'&', u'&');
        }
        if (*text == u'&') ++text;
        if (name.length) map.AddPair(name.c_str(), value.c_str());
    }
}
