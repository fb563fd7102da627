// The per-user settings store: texts addressed by section and key, with
// keys compared without regard to letter case.  An INI file named
// "Parlune.ini" in the user's configuration folder, or a link to one.  A
// store path that is (or links to) anything but a regular file, such as a
// folder, a FIFO or a device, is neither read nor written; each start-up
// and each save then says so in one line on stderr.
#pragma once
#include <QString>
#include <memory>
#include <vector>

class QSettings;

// The store as read once, for the many reads of a start-up.  A store that
// cannot be read reads as empty: every read gives its default.
class StoredSettings {
public:
    StoredSettings();
    ~StoredSettings();
    // The stored text, or the default when the entry does not exist.
    QString Read(const QString& section, const QString& key, const QString& defaultText) const;

private:
    std::unique_ptr<QSettings> store_; // null when the store is not read
};

// Texts collected for the store and saved together with one write of its
// file, so that closing costs one write however many entries there are.
class SettingsToSave {
public:
    // Collects the text; saved, it replaces any earlier value under any
    // spelling of the key, and the key is stored in lower case.
    void Write(const QString& section, const QString& key, const QString& text);
    // Writes what was collected.  False, after one line on stderr naming the
    // file and the reason, when the store was left as it was.
    bool Save() const;

private:
    struct Entry {
        QString section, key, text;
    };
    std::vector<Entry> entries_;
};

// One read or one write, each a whole open of the store.
QString ReadSetting(const QString& section, const QString& key, const QString& defaultText);
void WriteSetting(const QString& section, const QString& key, const QString& text);

// Puts the store in another folder (tests use a temporary one); an empty
// folder goes back to the user's configuration folder.
void SetSettingsFolder(const QString& folder);
// Full path of the INI file in use.
QString SettingsFilePath();
