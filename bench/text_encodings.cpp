// Text encodings on mail-sized inputs: Base64 of an attachment, a legacy
// charset body through iconv, and HTML bodies rendered as text.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <string>

#include "foundation/base64.h"
#include "foundation/codepage.h"
#include "foundation/html_text.h"

namespace {

std::string Bytes(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 131 + 7);
    return s;
}

// A Cyrillic body in windows-1251: letters, spaces and line breaks.
std::string Cp1251Body(size_t n) {
    std::string s;
    while (s.size() < n) s += "\xcf\xf0\xe8\xe2\xe5\xf2, \xec\xe8\xf0! \r\n";
    return s;
}

void BM_Base64Encode(benchmark::State& state) {
    std::string in = Bytes(static_cast<size_t>(state.range(0)));
    LStringA out;
    for (auto _ : state) {
        out.Clear();
        LBase64EncodeA(in.data(), in.size(), out);
        benchmark::DoNotOptimize(out.buffer);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Base64Encode)->Arg(1 << 20);

void BM_Base64Decode(benchmark::State& state) {
    std::string in = Bytes(static_cast<size_t>(state.range(0)));
    LStringA text;
    LBase64EncodeA(in.data(), in.size(), text);
    LHeapBlock block;
    for (auto _ : state) benchmark::DoNotOptimize(LBase64Decode(text, block));
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Base64Decode)->Arg(1 << 20);

// The program opens a converter per call; the baseline keeps one open.
void BM_CodePageToWide(benchmark::State& state) {
    std::string body = Cp1251Body(static_cast<size_t>(state.range(0)));
    LString out;
    for (auto _ : state) {
        out.Clear();
        LCodePageAppendWide(1251, body.data(), body.size(), out);
        benchmark::DoNotOptimize(out.buffer);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(body.size()));
}
BENCHMARK(BM_CodePageToWide)->Arg(256)->Arg(4096)->Arg(65536);

void BM_IconvKeptOpen(benchmark::State& state) {
    std::string body = Cp1251Body(static_cast<size_t>(state.range(0)));
    std::u16string out(body.size() + 16, u'\0');
    iconv_t cd = iconv_open("UTF-16LE", "CP1251");
    for (auto _ : state) {
        char* in = body.data();
        size_t inLeft = body.size();
        char* o = reinterpret_cast<char*>(out.data());
        size_t oLeft = out.size() * 2;
        iconv(cd, &in, &inLeft, &o, &oLeft);
        benchmark::DoNotOptimize(o);
    }
    iconv_close(cd);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(body.size()));
}
BENCHMARK(BM_IconvKeptOpen)->Arg(256)->Arg(4096)->Arg(65536);

void BM_HtmlToText(benchmark::State& state) {
    std::u16string html;
    while (html.size() < size_t(state.range(0)))
        html += u"<p class=\"x\">Hello&nbsp;<b>World</b> &amp; friends,</p>\r\n<ul><li>One</li><li>Two</li></ul>";
    LString out;
    for (auto _ : state) {
        out.Clear();
        LHtmlToText(out, html.c_str());
        benchmark::DoNotOptimize(out.buffer);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(html.size() * 2));
}
BENCHMARK(BM_HtmlToText)->Arg(65536);

}  // namespace

BENCHMARK_MAIN();
