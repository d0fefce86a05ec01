#pragma once
// Where the program keeps what it remembers, and the first-run values.

// The framework's registry key; with the profile name (the executable's base
// name) it places the per-user settings:
// HKCU\Software\<registry key>\<executable base name>\UserInterface
constexpr wchar_t APP_REGISTRY_KEY[] = L"Local AppWizard-Generated Applications";
constexpr wchar_t SETTINGS_SECTION[] = L"UserInterface";
constexpr wchar_t SETTING_SOURCE_FOLDER[] = L"SourceFolder";
constexpr wchar_t SETTING_SOURCE_VOLUME[] = L"SourceVolume";
constexpr wchar_t SETTING_TASK_TYPE[] = L"TaskType";
constexpr wchar_t SETTING_FORMAT_TYPE[] = L"FormatType";
constexpr wchar_t SETTING_VOLUME_LABEL[] = L"VolumeLabel";
constexpr wchar_t SETTING_VERIFY[] = L"Verify";
constexpr wchar_t SETTING_USED_SPACE_ONLY[] = L"UsedSpaceOnly";

constexpr int DEFAULT_TASK_TYPE = 0;       // File Copy
constexpr int DEFAULT_FORMAT_TYPE = 1;     // FAT32
constexpr wchar_t DEFAULT_VOLUME_LABEL[] = L"CORVANTIS";
constexpr int DEFAULT_VERIFY = 0;          // off: no drive is read back
constexpr int DEFAULT_USED_SPACE_ONLY = 0; // off: a Sector Copy copies the whole volume

// Per machine, under HKEY_LOCAL_MACHINE; an installer or an administrator
// creates the key, the program only opens it.
constexpr wchar_t MACHINE_KEY[] = L"SOFTWARE\\Fennelbridge\\CORVANTIS USB Copy";
constexpr wchar_t SETTING_AUTO_UPDATE[] = L"AutoUpdate";
