#include "NamedText.h"

#include "Resources.h"

#include <atomic>

namespace qvres {
namespace {

constexpr int UsEnglishTable = 1033;
constexpr int PrimaryLanguageMask = 0x3FF;

std::atomic<int> interfaceLanguage{0};

} // namespace

QString NamedTextFor(int languageId, const char* name)
{
    const QString key = QString::fromLatin1(name);
    for (const int table : {languageId, languageId & PrimaryLanguageMask, UsEnglishTable}) {
        if (HasStringTable(table) && HasNamedTableString(table, key)) {
            return NamedTableString(table, key);
        }
    }
    return {};
}

void SetInterfaceLanguage(int languageId)
{
    // Relaxed: the word is the whole message; the tables it selects are published by their own
    // once-only reads.
    interfaceLanguage.store(languageId, std::memory_order_relaxed);
}

int InterfaceLanguage()
{
    return interfaceLanguage.load(std::memory_order_relaxed); // relaxed: see SetInterfaceLanguage
}

QString NamedText(const char* name)
{
    return NamedTextFor(InterfaceLanguage(), name);
}

} // namespace qvres
