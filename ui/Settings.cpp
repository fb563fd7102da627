#include "ui/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <cstdio>
#include <filesystem>
#include <map>

namespace {

namespace fs = std::filesystem;

QString& FolderOverride()
{
    static QString folder;
    return folder;
}

// The one line the store writes to stderr when it leaves the file alone.
void Report(const QString& line)
{
    std::fprintf(stderr, "parlune: settings %s\n", line.toLocal8Bit().constData());
}

QString KindName(fs::file_type type)
{
    switch (type) {
    case fs::file_type::directory: return "a folder";
    case fs::file_type::fifo: return "a FIFO";
    case fs::file_type::character: return "a character device";
    case fs::file_type::block: return "a block device";
    case fs::file_type::socket: return "a socket";
    default: return "of another kind";
    }
}

// Why the store's path is no file to read or write, or empty when it is one
// (or does not exist yet).  Checked before QSettings opens anything: it would
// read whatever is there (a FIFO blocks, a device may never end), and its
// save replaces a link's target with a new regular file, device or not.
QString NotAFile(const QString& path)
{
    const fs::path p(QFile::encodeName(path).toStdString());
    std::error_code error;
    const fs::file_status own = fs::symlink_status(p, error);
    if (own.type() == fs::file_type::not_found)
        return {};
    const fs::file_status target = fs::status(p, error);
    // A link to nothing yet: saving makes its target a regular file.
    if (target.type() == fs::file_type::regular || target.type() == fs::file_type::not_found)
        return {};
    if (target.type() == fs::file_type::none || target.type() == fs::file_type::unknown)
        return path + " cannot be examined: " + QString::fromLocal8Bit(error.message().c_str());
    if (fs::is_symlink(own))
        return path + " links to " + QFileInfo(path).canonicalFilePath() + ", " + KindName(target.type()) +
               ", not a regular file";
    return path + " is " + KindName(target.type()) + ", not a regular file";
}

// A file whose mode has no write permission at all was made read-only on
// purpose; it is kept as it is even for root, whom the system would let write.
bool MarkedReadOnly(const QString& path)
{
    std::error_code error;
    const fs::file_status s = fs::status(QFile::encodeName(path).toStdString(), error);
    return s.type() == fs::file_type::regular &&
           (s.permissions() & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write)) ==
               fs::perms::none;
}

// Why a save the system refused failed, as far as the path tells.
QString WhyNotSaved(const QString& path)
{
    const QFileInfo file(path);
    QString folder = file.absolutePath();
    while (!QFileInfo::exists(folder) && folder != QDir::rootPath())
        folder = QFileInfo(folder).absolutePath();
    if (!QFileInfo(folder).isDir())
        return folder + " is not a folder";
    if (file.exists() && !file.isWritable())
        return "the file is read-only";
    return "the file or its folder could not be written";
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

StoredSettings::StoredSettings()
{
    const QString path = SettingsFilePath();
    if (const QString problem = NotAFile(path); !problem.isEmpty()) {
        Report("not read: " + problem + "; defaults used");
        return;
    }
    store_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

StoredSettings::~StoredSettings() = default;

QString StoredSettings::Read(const QString& section, const QString& key, const QString& defaultText) const
{
    if (!store_)
        return defaultText;
    store_->beginGroup(section);
    const QString stored = StoredKey(*store_, key);
    const QVariant v = stored.isEmpty() ? QVariant() : store_->value(stored);
    store_->endGroup();
    if (stored.isEmpty())
        return defaultText;
    // An unquoted value with commas in a hand-edited file reads as a list.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(", ");
    return v.toString();
}

void SettingsToSave::Write(const QString& section, const QString& key, const QString& text)
{
    entries_.push_back({section, key.toLower(), text});
}

bool SettingsToSave::Save() const
{
    const QString path = SettingsFilePath();
    if (const QString problem = NotAFile(path); !problem.isEmpty()) {
        Report("not saved: " + problem + "; left alone");
        return false;
    }
    if (MarkedReadOnly(path)) {
        Report("not saved: " + path + ": the file is read-only");
        return false;
    }
    QSettings s(path, QSettings::IniFormat);
    // Each section's stored spellings, looked up once: lower-cased key -> spellings.
    std::map<QString, std::multimap<QString, QString>> spellings;
    for (const Entry& e : entries_) {
        s.beginGroup(e.section);
        auto [known, fresh] = spellings.try_emplace(e.section);
        if (fresh)
            for (const QString& k : s.childKeys())
                known->second.emplace(k.toLower(), k);
        const auto [first, last] = known->second.equal_range(e.key);
        for (auto it = first; it != last; ++it)
            s.remove(it->second);
        known->second.erase(first, last);
        s.setValue(e.key, e.text);
        known->second.emplace(e.key, e.key);
        s.endGroup();
    }
    s.sync();
    if (s.status() == QSettings::AccessError) {
        Report("not saved: " + path + ": " + WhyNotSaved(path));
        return false;
    }
    return true;
}

QString ReadSetting(const QString& section, const QString& key, const QString& defaultText)
{
    return StoredSettings().Read(section, key, defaultText);
}

void WriteSetting(const QString& section, const QString& key, const QString& text)
{
    SettingsToSave save;
    save.Write(section, key, text);
    save.Save();
}

void SetSettingsFolder(const QString& folder) { FolderOverride() = folder; }

// Where QSettings puts the per-user INI file of organisation "Parlune" on
// Linux; worked out here so that finding the path opens nothing.
QString SettingsFilePath()
{
    const QString folder = FolderOverride().isEmpty()
                               ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                               : FolderOverride();
    return folder + "/Parlune.ini";
}
