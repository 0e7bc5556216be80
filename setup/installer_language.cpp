#include "setup/installer_language.h"

#include <cstdlib>
#include <string_view>

#include "foundation/lstring.h"
#include "setup/maker_hosts.h"

namespace {

constexpr LLanguageTexts kTexts[] = {
    {"cn", u"您想下载并安装中文版 Porlinex 吗？", u"下载并安装中文版 (v %s)", u"正在下载安装程序", u"正在下载中文安装程序"},
    {"de", u"Möchten Sie die deutsche Version von Porlinex herunterladen und installieren?",
     u"Deutsche Version herunterladen und installieren (v %s)", u"Installationsprogramm wird heruntergeladen",
     u"Deutsches Installationsprogramm wird heruntergeladen"},
    {"en", u"Would you like to download and install the English version of Porlinex?",
     u"Download and install in English (v %s)", u"Downloading Installer", u"Downloading English installer"},
    {"es", u"¿Desea descargar e instalar la versión en español de Porlinex?", u"Descargar e instalar en español (v %s)",
     u"Descargando el instalador", u"Descargando el instalador en español"},
    {"fr", u"Voulez-vous télécharger et installer la version française de Porlinex ?",
     u"Télécharger et installer en français (v %s)", u"Téléchargement du programme d'installation",
     u"Téléchargement du programme d'installation en français"},
    {"it", u"Vuoi scaricare e installare la versione italiana di Porlinex?", u"Scarica e installa in italiano (v %s)",
     u"Download del programma di installazione", u"Download del programma di installazione italiano"},
    {"jp", u"日本語版の Porlinex をダウンロードしてインストールしますか？", u"日本語版をダウンロードしてインストール (v %s)",
     u"インストーラーをダウンロードしています", u"日本語版インストーラーをダウンロードしています"},
    {"ko", u"Porlinex 한국어 버전을 다운로드하여 설치하시겠습니까?", u"한국어 버전 다운로드 및 설치 (v %s)",
     u"설치 프로그램 다운로드 중", u"한국어 설치 프로그램 다운로드 중"},
    {"nl", u"Wilt u de Nederlandse versie van Porlinex downloaden en installeren?",
     u"Downloaden en installeren in het Nederlands (v %s)", u"Installatieprogramma downloaden",
     u"Nederlands installatieprogramma downloaden"},
    {"ru", u"Хотите загрузить и установить русскую версию Porlinex?", u"Загрузить и установить русскую версию (v %s)",
     u"Загрузка установщика", u"Загрузка русского установщика"},
};

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

}  // namespace

std::string LInstallerLanguage() {
    // The first setting that names a language wins; LANGUAGE may list
    // several, the first of which is the user's own.
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (!v || !*v) continue;
        std::string_view value(v);
        value = value.substr(0, value.find_first_of(":_.@"));
        if (value.empty() || value == "C" || value == "POSIX") continue;
        if (value.size() > 8) continue;  // no language name is this long
        return Lower(value);
    }
    return "en";
}

std::vector<LOtherLanguageInstaller> LOtherLanguageInstallers() {
    return {{"EN", "2.00", "http://" + LGetMakerDownloadHost() + "/email/pxsetup.exe",
             "http://" + LGetMakerDownloadHostB() + "/components/pxsetup.exe"}};
}

LLanguageChoice LFindOtherLanguageInstaller(const std::string& language,
                                            const std::vector<LOtherLanguageInstaller>& rows) {
    for (const char* own : {"en", "ru", "pt", "zh"})
        if (language == own) return {};
    std::string code = language == "ja" ? "jp" : language == "zh" ? "cn" : Lower(language);
    const LLanguageTexts* texts = nullptr;
    for (const LLanguageTexts& t : kTexts)
        if (code == t.code) texts = &t;
    if (!texts) return {};
    for (const LOtherLanguageInstaller& row : rows)
        if (Lower(row.code) == code) return {&row, texts};
    return {};
}

std::u16string LLanguageDownloadText(const LLanguageChoice& choice) {
    std::u16string text = choice.texts->download;
    size_t at = text.find(u"%s");
    if (at != std::u16string::npos) text.replace(at, 2, LFromUtf8(choice.row->version).c_str());
    return text;
}
