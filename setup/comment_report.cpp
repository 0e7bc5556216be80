#include "setup/comment_report.h"

#include "foundation/reg_settings.h"
#include "foundation/system_version.h"
#include "foundation/wait.h"
#include "net/http/http_client.h"
#include "setup/closing_prompts.h"
#include "setup/usage_query.h"

namespace {

// A survey box has no length limit; the report keeps what a person could
// have typed and no more.
constexpr uint64_t kMaxCommentUnits = 32768;

}  // namespace

std::string LCommentReportForm(const LString& comment) {
    LString text;
    text.AppendN(comment.c_str(), comment.length < kMaxCommentUnits ? comment.length : kMaxCommentUnits);
    bool vm = LIsVirtualMachineByBios() || LIsVirtualMachineByCpuid();
    LString form;
    form.Format(u"software=Porlinex&version=2.01&report=COMMENT&text=COMMENT-%U&language=en&platform=Win%s%s",
                text.c_str(), LIsRunningUnderWine() ? u"&wine=1" : u"", vm ? u"&vm=1" : u"");
    LAppendUsageSample(form);
    return LToUtf8(form);
}

std::string LGetMakerReportHost() {
    char16_t v[260] = {0};
    LRegSettingsGet(u"Maker", u"ReportHost", u"", v);
    return LToUtf8(LMakerHostOr(v, LFromUtf8(LHttpProblemReportHost)));
}

void LSendComment(const LString& comment) {
    LPlainWait wait;
    LNetOpResult result;
    LPostProblemReportTo(result, wait, LGetMakerReportHost().c_str(), LCommentReportForm(comment).c_str());
}
