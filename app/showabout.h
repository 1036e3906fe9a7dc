// The About box: a skinned, borderless box whose picture (chosen by the user's regional
// locale) carries the title, the copyright line and the "Version:" label; the box adds the
// version number and an OK button.
//
// Thread-safety: a widget; UI thread only.
#pragma once

#include "SkinWindow.h"

#include <QFont>

class CxSkinButton;
class QLabel;

// The product version compiled into the program; null when the build gave none.
const char* CompiledProductVersion();

// Copies the product version from source (at most 31 characters) into buffer and returns 1;
// returns 0 and leaves buffer untouched when there is no version (null or empty source).
int GetProductVersionText(char (&buffer)[32], const char* source = CompiledProductVersion());

class showabout : public SkinDialog
{
    Q_OBJECT

public:
    // productVersion stands for the program's version information; null means it has none.
    explicit showabout(QWidget* parent = nullptr, const char* productVersion = CompiledProductVersion());
    ~showabout() override;

    showabout(const showabout&) = delete;
    showabout& operator=(const showabout&) = delete;

    int BackgroundId() const override;

private:
    void OnInitDialog() override;

    CxSkinButton* okButton = nullptr;
    QLabel* versionLabel = nullptr;
    QFont versionFont;
    QFont okFont;
    int languageOffset = 0;
    const char* m_productVersion;
};
