#include "Language.h"

#include "NamedText.h"
#include "Resources.h"

#include <QHash>
#include <QList>
#include <algorithm>
#include <array>
#include <cstdio>
#include <initializer_list>
#include <limits>

namespace {

constexpr int UsEnglish = 0x0409;
constexpr int UsEnglishTable = 1033;
constexpr int PrimaryLanguageMask = 0x3FF;

struct LocaleId
{
    const char* name;
    int id;
};

// POSIX names (language, or language_TERRITORY) to Windows language ids. A bare language
// stands for its main locale.
constexpr LocaleId LocaleIds[] = {
    {"ar", 0x0401},    {"ar_SA", 0x0401}, {"ar_IQ", 0x0801},   {"ar_EG", 0x0C01},   {"ar_LY", 0x1001},
    {"ar_DZ", 0x1401}, {"ar_MA", 0x1801}, {"ar_TN", 0x1C01},   {"ar_OM", 0x2001},   {"ar_YE", 0x2401},
    {"ar_SY", 0x2801}, {"ar_JO", 0x2C01}, {"ar_LB", 0x3001},   {"ar_KW", 0x3401},   {"ar_AE", 0x3801},
    {"ar_BH", 0x3C01}, {"ar_QA", 0x4001}, {"bg", 0x0402},      {"bg_BG", 0x0402},   {"ca", 0x0403},
    {"ca_ES", 0x0403}, {"cs", 0x0405},    {"cs_CZ", 0x0405},   {"da", 0x0406},      {"da_DK", 0x0406},
    {"de", 0x0407},    {"de_DE", 0x0407}, {"de_CH", 0x0807},   {"de_AT", 0x0C07},   {"de_LU", 0x1007},
    {"de_LI", 0x1407}, {"el", 0x0408},    {"el_GR", 0x0408},   {"en", 0x0409},      {"en_US", 0x0409},
    {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009},   {"en_NZ", 0x1409},   {"en_IE", 0x1809},
    {"en_ZA", 0x1C09}, {"en_IN", 0x4009}, {"es", 0x0C0A},      {"es_ES", 0x0C0A},   {"es_MX", 0x080A},
    {"es_GT", 0x100A}, {"es_CR", 0x140A}, {"es_PA", 0x180A},   {"es_DO", 0x1C0A},   {"es_VE", 0x200A},
    {"es_CO", 0x240A}, {"es_PE", 0x280A}, {"es_AR", 0x2C0A},   {"es_EC", 0x300A},   {"es_CL", 0x340A},
    {"es_UY", 0x380A}, {"es_PY", 0x3C0A}, {"es_BO", 0x400A},   {"es_US", 0x540A},   {"et", 0x0425},
    {"et_EE", 0x0425}, {"eu", 0x042D},    {"eu_ES", 0x042D},   {"fa", 0x0429},      {"fa_IR", 0x0429},
    {"fi", 0x040B},    {"fi_FI", 0x040B}, {"fr", 0x040C},      {"fr_FR", 0x040C},   {"fr_BE", 0x080C},
    {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr_LU", 0x140C},   {"fr_MC", 0x180C},   {"gl", 0x0456},
    {"gl_ES", 0x0456}, {"he", 0x040D},    {"he_IL", 0x040D},   {"iw", 0x040D},      {"iw_IL", 0x040D},
    {"hi", 0x0439},    {"hi_IN", 0x0439}, {"hr", 0x041A},      {"hr_HR", 0x041A},   {"hu", 0x040E},
    {"hu_HU", 0x040E}, {"id", 0x0421},    {"id_ID", 0x0421},   {"is", 0x040F},      {"is_IS", 0x040F},
    {"it", 0x0410},    {"it_IT", 0x0410}, {"it_CH", 0x0810},   {"ja", 0x0411},      {"ja_JP", 0x0411},
    {"ko", 0x0412},    {"ko_KR", 0x0412}, {"lt", 0x0427},      {"lt_LT", 0x0427},   {"lv", 0x0426},
    {"lv_LV", 0x0426}, {"ms", 0x043E},    {"ms_MY", 0x043E},   {"nb", 0x0414},      {"nb_NO", 0x0414},
    {"no", 0x0414},    {"no_NO", 0x0414}, {"nn", 0x0814},      {"nn_NO", 0x0814},   {"nl", 0x0413},
    {"nl_NL", 0x0413}, {"nl_BE", 0x0813}, {"pl", 0x0415},      {"pl_PL", 0x0415},   {"pt", 0x0416},
    {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"ro", 0x0418},      {"ro_RO", 0x0418},   {"ru", 0x0419},
    {"ru_RU", 0x0419}, {"sk", 0x041B},    {"sk_SK", 0x041B},   {"sl", 0x0424},      {"sl_SI", 0x0424},
    {"sv", 0x041D},    {"sv_SE", 0x041D}, {"sv_FI", 0x081D},   {"th", 0x041E},      {"th_TH", 0x041E},
    {"tr", 0x041F},    {"tr_TR", 0x041F}, {"uk", 0x0422},      {"uk_UA", 0x0422},   {"vi", 0x042A},
    {"vi_VN", 0x042A}, {"zh", 0x0004},    {"zh_Hans", 0x0004}, {"zh_Hant", 0x7C04}, {"zh_CN", 0x0804},
    {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004},   {"zh_MO", 0x1404},
};

struct OffsetEntry
{
    int languageId;
    int offset;
};

// Exact ids only: the main locales of several of these languages are deliberately absent.
constexpr OffsetEntry Offsets[] = {
    {0x0004, 255}, {0x0804, 255}, {0x0404, 31},  {0x7C04, 31},  {0x1401, 45},  {0x0405, 59},
    {0x0813, 73},  {0x080C, 87},  {0x0C07, 101}, {0x040D, 115}, {0x040E, 129}, {0x0410, 143},
    {0x0411, 157}, {0x0412, 171}, {0x0414, 185}, {0x0415, 199}, {0x0416, 213}, {0x0816, 227},
    {0x0419, 241}, {0x2C0A, 269}, {0x081D, 283}, {0x041F, 297},
};

const QHash<QByteArray, int>& LocaleTable()
{
    static const QHash<QByteArray, int> table = [] {
        QHash<QByteArray, int> built;
        for (const LocaleId& entry : LocaleIds) {
            built.insert(QByteArray(entry.name), entry.id);
        }
        return built;
    }();
    return table;
}

// The value of the first variable that is set and not empty.
QByteArray FirstSet(std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        QByteArray value = qgetenv(name);
        if (!value.isEmpty()) {
            return value;
        }
    }
    return {};
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

int LanguageIdFromLocaleName(const QByteArray& localeName)
{
    // language[_territory][.codeset][@modifier]; BCP 47 spellings ("de-AT") are accepted too.
    QByteArray name = localeName.trimmed();
    for (const char separator : {'.', '@'}) {
        if (const qsizetype cut = name.indexOf(separator); cut >= 0) {
            name.truncate(cut);
        }
    }
    name.replace('-', '_');
    if (name == "C" || name == "POSIX") {
        return UsEnglish;
    }
    const auto& table = LocaleTable();
    if (const auto exact = table.constFind(name); exact != table.constEnd()) {
        return exact.value();
    }
    const qsizetype underscore = name.indexOf('_');
    if (underscore > 0) {
        const auto language = table.constFind(name.left(underscore).toLower());
        if (language != table.constEnd()) {
            return language.value();
        }
    }
    return 0;
}

int RegionalLanguageId()
{
    return LanguageIdFromLocaleName(FirstSet({"LC_ALL", "LC_TIME", "LC_NUMERIC", "LC_MONETARY", "LANG"}));
}

int InterfaceLanguageId()
{
    const QList<QByteArray> preferred = qgetenv("LANGUAGE").split(':');
    for (const QByteArray& entry : preferred) {
        if (const int id = LanguageIdFromLocaleName(entry); id != 0) {
            return id;
        }
    }
    return LanguageIdFromLocaleName(FirstSet({"LC_ALL", "LC_MESSAGES", "LANG"}));
}

int LanguageOffsetFromId(int languageId)
{
    for (const OffsetEntry& entry : Offsets) {
        if (entry.languageId == languageId) {
            return entry.offset;
        }
    }
    return 0;
}

int LanguageOffsetFromText(const char* text)
{
    if (text == nullptr) {
        return 0;
    }
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\v' || *text == '\f') {
        ++text;
    }
    // Like strtol: every hex digit counts; a value past the int range saturates, which no
    // table entry matches.
    long long value = 0;
    for (; HexDigit(*text) >= 0; ++text) {
        value = std::min<long long>(value * 16 + HexDigit(*text), std::numeric_limits<int>::max());
    }
    return LanguageOffsetFromId(static_cast<int>(value));
}

int GetLanguageOffset()
{
    // The locale's id in its text form, as the platform's locale query gives it.
    std::array<char, 64> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%04x", static_cast<unsigned>(RegionalLanguageId()));
    return LanguageOffsetFromText(buffer.data());
}

QString LoadStringFor(int languageId, int stringId)
{
    int table = UsEnglishTable;
    if (qvres::HasStringTable(languageId)) {
        table = languageId;
    } else if (qvres::HasStringTable(languageId & PrimaryLanguageMask)) {
        table = languageId & PrimaryLanguageMask;
    }
    return qvres::TableString(table, stringId);
}

QString LoadAppString(int stringId)
{
    return LoadStringFor(InterfaceLanguageId(), stringId);
}

QString LoadAppText(const char* name)
{
    return qvres::NamedTextFor(InterfaceLanguageId(), name);
}
