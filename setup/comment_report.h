#pragma once
// The survey's comment, posted as a problem report to the maker's report
// host (Maker\ReportHost). The result is not shown to anyone.
#include <string>

#include "foundation/lstring.h"

// "software=Porlinex&version=2.01&report=COMMENT&text=COMMENT-..." with the
// comment percent-encoded as UTF-8, so that '&', '=' and '%' in it arrive
// as typed and cannot add fields of their own.
std::string LCommentReportForm(const LString& comment);
std::string LGetMakerReportHost();
void LSendComment(const LString& comment);
