// The routes of the activity logs: loglist (the files of a category, JSON)
// and logcontent (one file as text). A file name is only used after it
// passed the strict name test, so no other file can be read through them.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "foundation/utf8.h"
#include "web/http/activity_log.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"

void LActivityLogFileJson(LJsonWriter& json, const char* file_name, const char* category) {
    struct stat st;
    std::string path = LActivityLogFolder() + "/" + file_name;
    uint64_t size = lstat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    json.BeginObject();
    json.StringUTF8("file", file_name);
    json.StringUTF8("category", category);
    json.Int64("size", static_cast<int64_t>(size));
    json.EndObject();
}

namespace {

void LWebLogContent(Weblet& request, LWebletRoute*, uint64_t) {
    if (!request.session.HasSession()) {
        request.SendStatus(401, "Not Authorized");
        return;
    }
    const char16_t* name = request.Field(u"file");
    if (!name || !*LActivityLogCategoryOf(name)) {
        request.SendStatus(400, "Invalid log file.");
        return;
    }
    std::string path = LActivityLogFolder() + "/" + LToUtf8(name);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) close(fd);
        request.SendStatus(404, "Log file not found.");
        return;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (request.Printf("HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: %I64u\r\n"
                       "Cache-Control: no-store\r\n\r\n",
                       size)) {
        char piece[8192];
        for (uint64_t left = size; left > 0;) {
            ssize_t got = read(fd, piece, left < sizeof piece ? static_cast<size_t>(left) : sizeof piece);
            // A file that shrank ends the body early; the connection then
            // cannot keep its promise and ends with the request.
            if (got <= 0) {
                request.keep_alive = false;
                break;
            }
            if (!request.Send(piece, static_cast<size_t>(got), 600000)) break;
            left -= static_cast<uint64_t>(got);
        }
    }
    close(fd);
}

bool IsFilter(const std::string& c) {
    return c == "all" || c == "sync" || c == "activity" || c == "email" || c == "mcp" || c == "error";
}

void LWebLogList(Weblet& request, LJsonValue& body) {
    if (!request.CheckCSRF()) return;
    if (!request.session.HasSession()) {
        request.SendJsonText("{\"errorcode\":401,\"errormsg\":\"Not logged in.\"}");
        return;
    }
    std::string filter = "all";
    const LJsonValue* member = body.FindMember("category");
    if (member && member->IsString()) filter = member->text.Str();
    if (!IsFilter(filter)) {
        request.SendJsonText("{\"errorcode\":400,\"errormsg\":\"Invalid log category.\"}");
        return;
    }
    LStringA out;
    LJsonWriter json(out);
    json.BeginObject();
    json.Int("errorcode", 200);
    json.StringUTF8("errormsg", "OK");
    json.BeginArrayNamed("files");
    const std::string& folder = LActivityLogFolder();
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            LString name;
            name.SetUtf8(e->d_name);
            std::string category = LActivityLogCategoryOf(name.c_str());
            if (category.empty()) continue;
            bool take = filter == "all" || filter == category ||
                        (filter == "sync" && (category == "activity" || category == "error"));
            if (take) LActivityLogFileJson(json, e->d_name, category.c_str());
        }
        closedir(dir);
    }
    json.EndArray();
    json.EndObject();
    request.SendJson(out.c_str(), out.length);
}

[[maybe_unused]] const LWebletRoute* g_list = LWebletRegisterJsonRoute(u"loglist", LWebLogList, 1);
[[maybe_unused]] const LWebletRoute* g_content = LWebletRegisterRoute(u"logcontent", LWebLogContent, 1);

}  // namespace
