#include "log/LogFile.h"

bool LogFileWriter::Open(const QString& name)
{
    Close();
    if (name.isEmpty())
        return false;
    file_.setFileName(name);
    return file_.open(QIODevice::WriteOnly | QIODevice::Append);
}

bool LogFileWriter::WriteLine(std::string_view line)
{
    if (!file_.isOpen())
        return false;
    QByteArray bytes(line.data(), static_cast<qsizetype>(line.size()));
    bytes += "\r\n";
    const bool written = file_.write(bytes) == bytes.size();
    return file_.flush() && written;
}

void LogFileWriter::Close()
{
    if (file_.isOpen())
        file_.close();
}
