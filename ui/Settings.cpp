#include "ui/Settings.h"

#include <QSettings>
#include <QStringList>
#include <memory>

namespace {

QString& FolderOverride()
{
    static QString folder;
    return folder;
}

std::unique_ptr<QSettings> OpenStore()
{
    if (FolderOverride().isEmpty())
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Parlune");
    return std::make_unique<QSettings>(FolderOverride() + "/Parlune.ini", QSettings::IniFormat);
}

// The stored spelling of a key, matched without regard to case; empty when absent.
QString StoredKey(const QSettings& s, const QString& key)
{
    const QString wanted = key.toLower();
    for (const QString& k : s.childKeys())
        if (k.toLower() == wanted)
            return k;
    return {};
}

} // namespace

QString ReadSetting(const QString& section, const QString& key, const QString& defaultText)
{
    auto s = OpenStore();
    s->beginGroup(section);
    const QString stored = StoredKey(*s, key);
    if (stored.isEmpty())
        return defaultText;
    const QVariant v = s->value(stored);
    // An unquoted value with commas in a hand-edited file reads as a list.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(", ");
    return v.toString();
}

void WriteSetting(const QString& section, const QString& key, const QString& text)
{
    auto s = OpenStore();
    s->beginGroup(section);
    const QString wanted = key.toLower();
    for (const QString& old : s->childKeys())
        if (old.toLower() == wanted)
            s->remove(old);
    s->setValue(key.toLower(), text);
    s->endGroup();
    s->sync();
}

void SetSettingsFolder(const QString& folder) { FolderOverride() = folder; }

QString SettingsFilePath() { return OpenStore()->fileName(); }
