// mime_probe FILE.eml...  prints what the MIME parser made of each message as
// JSON (one object per line): header fields, the parsed date, the address
// fields, subject, both bodies, and each attachment's name, type, size and
// SHA-256. With -q FILE|MAILDIR... it only parses (for throughput runs: files are read
// first, then timed) and prints messages per second.
#include <openssl/sha.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "net/mime/mime_message.h"

namespace {

std::string Utf8(const LString& s) { return LToUtf8(s); }
std::string Utf8(std::u16string_view s) { return LToUtf8(std::u16string(s).c_str()); }

std::string Sha256Hex(const void* data, size_t n) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(static_cast<const unsigned char*>(data), n, digest);
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned char b : digest) {
        out.push_back(hex[b >> 4]);
        out.push_back(hex[b & 15]);
    }
    return out;
}

nlohmann::json Describe(const EMLMimeMessage& m) {
    nlohmann::json j;
    nlohmann::json headers = nlohmann::json::object();
    for (const auto& [name, value] : m.headers) headers[Utf8(name)] = Utf8(value);
    j["headers"] = headers;
    LString v;
    m.GetHeader(u"date", v);
    j["date"] = static_cast<int64_t>(LEmailParseDate(v.View()));
    for (const char16_t* field : {u"from", u"to", u"cc", u"subject"}) {
        m.GetHeader(field, v);
        j[Utf8(std::u16string_view(field))] = Utf8(v);
    }
    j["text"] = Utf8(m.text);
    j["html"] = Utf8(m.html);
    nlohmann::json attachments = nlohmann::json::array();
    for (const EMLMimeAttachment* a = m.attachments; a; a = a->next) {
        attachments.push_back({{"name", Utf8(std::u16string_view(a->fileName))},
                               {"type", Utf8(std::u16string_view(a->contentType))},
                               {"content_id", Utf8(std::u16string_view(a->contentId))},
                               {"size", a->size},
                               {"sha256", Sha256Hex(a->data.block, size_t(a->size))}});
    }
    j["attachments"] = attachments;
    nlohmann::json embedded = nlohmann::json::array();
    for (const EMLMimeMessage* e = m.embedded; e; e = e->next) embedded.push_back(Describe(*e));
    j["embedded"] = embedded;
    return j;
}

bool ReadFile(const char* path, std::string& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    bool quiet = argc > 1 && std::string(argv[1]) == "-q";
    int first = quiet ? 2 : 1;
    if (argc <= first) {
        std::fprintf(stderr, "usage: mime_probe FILE.eml... | mime_probe -q FILE|MAILDIR...\n");
        return 2;
    }
    if (quiet) {
        // Files are read before the clock starts, as the reference parser does.
        std::vector<std::string> files;
        for (int i = first; i < argc; ++i) {
            std::string path(argv[i]);
            std::error_code ec;
            if (std::filesystem::is_directory(path, ec)) {
                // A Maildir tree: every message file under cur/ and new/.
                for (auto& e : std::filesystem::recursive_directory_iterator(path, ec)) {
                    std::string p = e.path().string();
                    if (e.is_regular_file() && (p.find("/cur/") != std::string::npos || p.find("/new/") != std::string::npos))
                        files.push_back(p);
                }
            } else {
                files.push_back(path);
            }
        }
        std::vector<std::string> data(files.size());
        size_t bytes = 0, failed = 0;
        for (size_t i = 0; i < files.size(); ++i) {
            if (!ReadFile(files[i].c_str(), data[i])) ++failed;
            bytes += data[i].size();
        }
        size_t textUnits = 0, attachmentBytes = 0, attachments = 0;
        auto t0 = std::chrono::steady_clock::now();
        for (const std::string& d : data) {
            EMLMimeMessage m;
            m.Parse(d);
            textUnits += m.text.length + m.html.length;
            for (const EMLMimeAttachment* a = m.attachments; a; a = a->next) {
                ++attachments;
                attachmentBytes += size_t(a->size);
            }
        }
        double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("mime_probe: %zu messages (%.1f MB) in %.2f s = %.0f msg/s, %.1f MB/s; %zu text units, "
                    "%zu attachments -> %.1f MB; %zu unreadable\n",
                    data.size(), bytes / 1e6, secs, data.size() / secs, bytes / 1e6 / secs, textUnits, attachments,
                    attachmentBytes / 1e6, failed);
        return failed != 0;
    }
    int rc = 0;
    for (int i = first; i < argc; ++i) {
        std::string data;
        if (!ReadFile(argv[i], data)) {
            std::fprintf(stderr, "mime_probe: cannot read %s\n", argv[i]);
            rc = 1;
            continue;
        }
        EMLMimeMessage m;
        m.Parse(data);
        std::cout << Describe(m).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    }
    return rc;
}
