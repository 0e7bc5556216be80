#pragma once
// The installer in other languages: which installers exist (one row, the
// English one), the texts that offer them, and the choice for the user's
// language, which comes from LANGUAGE, LC_ALL, LC_MESSAGES or LANG.
#include <string>
#include <vector>

struct LOtherLanguageInstaller {
    const char* code;  // compared without regard to case
    const char* version;
    std::string primary_url, fallback_url;  // fallback may be empty
};

struct LLanguageTexts {
    const char* code;
    const char16_t* question;
    const char16_t* download;  // "%s": the version
    const char16_t* progress_title;
    const char16_t* progress_status;
};

struct LLanguageChoice {
    const LOtherLanguageInstaller* row = nullptr;  // null: no language page
    const LLanguageTexts* texts = nullptr;
};

// The user's two- or three-letter language, lower case; "en" when unset.
std::string LInstallerLanguage();
// The installers the maker offers in other languages.
std::vector<LOtherLanguageInstaller> LOtherLanguageInstallers();
// The installer to offer for the language, from the given rows (the
// choice points into them).
LLanguageChoice LFindOtherLanguageInstaller(const std::string& language,
                                            const std::vector<LOtherLanguageInstaller>& rows);
// The download choice with the row's version in it.
std::u16string LLanguageDownloadText(const LLanguageChoice& choice);
