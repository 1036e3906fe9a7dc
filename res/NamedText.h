// The program's texts that have no number: the credentials dialog, the unavailable-device
// warning, the accessible names of controls without a caption, the window menu, the buttons of
// the platform's boxes and the labels of the device list's tooltip. Each table carries them as
// named lines ("credentials.title = ...") beside its numbered texts; code names them by the
// constants below, never by a bare string.
//
// Also the process-wide interface language: the main window sets it when it initialises, so
// that code which does not read the locale itself (the device actions) speaks the same
// language as the window.
//
// Thread-safety: any thread. The language is one atomic word; the tables are read once, as
// Resources.h says.
#pragma once

#include <QString>
#include <array>

namespace qvres {

namespace text {
inline constexpr char CredentialsTitle[] = "credentials.title";
inline constexpr char CredentialsPrompt[] = "credentials.prompt"; // %1: the server
inline constexpr char CredentialsUser[] = "credentials.user";
inline constexpr char CredentialsDomain[] = "credentials.domain";
inline constexpr char CredentialsPassword[] = "credentials.password";
inline constexpr char CredentialsRemember[] = "credentials.remember";
inline constexpr char CredentialsRefused[] = "credentials.refused";
inline constexpr char ButtonOk[] = "button.ok";
inline constexpr char ButtonCancel[] = "button.cancel";
inline constexpr char WarningTitle[] = "warning.title";
inline constexpr char WarningUnavailable[] = "warning.unavailable";
inline constexpr char AccessibleClose[] = "accessible.close";
inline constexpr char AccessibleMinimise[] = "accessible.minimise";
inline constexpr char AccessibleSearching[] = "accessible.searching";
inline constexpr char AccessibleScrollBar[] = "accessible.scrollbar"; // %1: the list's name
inline constexpr char MenuRestore[] = "menu.restore";
inline constexpr char MenuMove[] = "menu.move";
inline constexpr char MenuSize[] = "menu.size";
inline constexpr char MenuMinimise[] = "menu.minimise";
inline constexpr char MenuMaximise[] = "menu.maximise";
inline constexpr char MenuClose[] = "menu.close";
// The device list's tooltip: labels of the device's details.
inline constexpr char DeviceModelName[] = "device.modelname";
inline constexpr char DeviceModelNumber[] = "device.modelnumber";
inline constexpr char DeviceDescription[] = "device.description";
inline constexpr char DeviceManufacturer[] = "device.manufacturer";
inline constexpr char DeviceWebPage[] = "device.webpage";
inline constexpr char DeviceId[] = "device.id";
} // namespace text

// Every name above: each table has them all.
inline constexpr std::array<const char*, 27> NamedTextNames{text::CredentialsTitle,
                                                            text::CredentialsPrompt,
                                                            text::CredentialsUser,
                                                            text::CredentialsDomain,
                                                            text::CredentialsPassword,
                                                            text::CredentialsRemember,
                                                            text::CredentialsRefused,
                                                            text::ButtonOk,
                                                            text::ButtonCancel,
                                                            text::WarningTitle,
                                                            text::WarningUnavailable,
                                                            text::AccessibleClose,
                                                            text::AccessibleMinimise,
                                                            text::AccessibleSearching,
                                                            text::AccessibleScrollBar,
                                                            text::MenuRestore,
                                                            text::MenuMove,
                                                            text::MenuSize,
                                                            text::MenuMinimise,
                                                            text::MenuMaximise,
                                                            text::MenuClose,
                                                            text::DeviceModelName,
                                                            text::DeviceModelNumber,
                                                            text::DeviceDescription,
                                                            text::DeviceManufacturer,
                                                            text::DeviceWebPage,
                                                            text::DeviceId};

// The named text from the table of languageId, else of its primary language
// (languageId & 0x3FF), else of US English (1033), as for the numbered texts; a table without
// the name passes it on to the next. Empty when none has it.
QString NamedTextFor(int languageId, const char* name);

// The process-wide interface language (a Windows language id; 0 until set, which reads as US
// English).
void SetInterfaceLanguage(int languageId);
int InterfaceLanguage();

// NamedTextFor the process-wide interface language.
QString NamedText(const char* name);

} // namespace qvres
