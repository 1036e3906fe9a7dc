// The program's own message box: a skinned, borderless box with a title line, a message and
// an OK button. The creator sets kind (and text, and title for KindNoDevice), runs it modally
// and destroys it; the kind picks the background, the title and the text used when none was
// given.
//
// Thread-safety: a widget; UI thread only. Other threads ask the UI thread to show it.
#pragma once

#include "SkinWindow.h"

#include <QColor>
#include <QFont>
#include <QString>

class CxSkinButton;
class QLabel;

// The title colour of the box.
inline const QColor TitleOrange{255, 146, 26};

enum MsgBoxKind : int
{
    KindSuccess = 0,
    KindError = 1,
    KindNoDevice = 2,
};

class CMsgBox : public SkinDialog
{
    Q_OBJECT

public:
    explicit CMsgBox(QWidget* parent = nullptr);
    ~CMsgBox() override;

    CMsgBox(const CMsgBox&) = delete;
    CMsgBox& operator=(const CMsgBox&) = delete;

    int BackgroundId() const override;

    // Set by the creator before the box is shown; any value other than 1 and 2 is a success.
    int kind = KindSuccess;
    QString title;
    QString text;

private:
    void OnInitDialog() override;

    QFont okFont;
    QFont titleFont;
    QFont textFont;
    CxSkinButton* okButton = nullptr;
    QLabel* titleLabel = nullptr;
    QLabel* textLabel = nullptr;
};
