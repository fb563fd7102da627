// The per-user settings store: texts addressed by section and key, with
// keys compared without regard to letter case.  An INI file named
// "Parlune.ini" in the user's configuration folder.
#pragma once
#include <QString>

// The stored text, or the default when the entry does not exist.
QString ReadSetting(const QString& section, const QString& key, const QString& defaultText);
// Stores the text, replacing any earlier value under any spelling of the key.
void WriteSetting(const QString& section, const QString& key, const QString& text);

// Puts the store in another folder (tests use a temporary one); an empty
// folder goes back to the user's configuration folder.
void SetSettingsFolder(const QString& folder);
// Full path of the INI file in use.
QString SettingsFilePath();
