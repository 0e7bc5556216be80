#include "foundation/ini_file.h"

#include "foundation/files.h"

namespace {

// One whole line as UTF-8 with CR LF. Lines are never cut: a long value cut
// short would be read back as another value.
void AppendLine(LStringA& out, const LString& line) {
    LStringAAppendWide(out, line.c_str(), static_cast<size_t>(line.length));
    out.Append("\r\n");
}

}  // namespace

bool LIniFile::Save(LIniDocument& document) {
    LFileHandle f = LCreateFileRetry(document.path, LFileAccessReadWrite, LFileShareNone, LFileCreateAlways, 1000);
    if (!f.IsValid()) return false;
    LStringA text;
    LString line;
    for (const LIniSection& section : document.sections) {
        line.Clear();
        line.AppendChar(u'[');
        line.AppendString(section.name);
        line.AppendChar(u']');
        AppendLine(text, line);
        for (const LIniEntry& entry : section.entries) {
            line.Clear();
            line.AppendString(entry.name);
            line.AppendChar(u'=');
            line.AppendString(entry.value);
            AppendLine(text, line);
        }
        text.Append("\r\n");
    }
    bool ok = f.Write(text.c_str(), text.length) && f.SetEnd();
    f.Close();
    // A short write keeps the document dirty so that its changes are not
    // taken for saved.
    if (!ok) return false;
    document.write_time = LGetFileWriteTime(document.path);
    document.size = static_cast<uint32_t>(LGetFileSize(document.path));
    document.dirty = false;
    return true;
}
