// The one log file: opened for appending (created when missing, never
// truncated), written a line at a time, each line ended by CR LF and handed
// to the system at once so a killed program loses nothing written.
#pragma once
#include <QFile>
#include <QString>
#include <string_view>

class LogFileWriter {
public:
    bool Open(const QString& name); // closes any open file first; false when it can't be opened
    bool WriteLine(std::string_view line); // false when the line could not be written
    void Close();
    bool IsOpen() const { return file_.isOpen(); }

private:
    QFile file_;
};
