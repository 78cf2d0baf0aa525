// Runs the built quarlomet program in a temporary directory and captures what it prints.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <fstream>
#include <string>
#include <vector>

namespace qm::test {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Each test owns a scratch directory that the program runs in.
class CliTest {
public:
    CliTest() = default;

    std::string Path(const std::string& name) const { return dir_.filePath(QString::fromStdString(name)).toStdString(); }

    std::string Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream file(Path(name), std::ios::binary);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }

    std::string Read(const std::string& name) const
    {
        std::ifstream file(Path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    // `environment` replaces the program's environment when given.
    RunResult Call(const std::vector<std::string>& args, const QProcessEnvironment* environment = nullptr) const
    {
        QStringList list;
        for (const std::string& arg : args) {
            list << QString::fromStdString(arg);
        }
        QProcess process;
        process.setWorkingDirectory(dir_.path());
        if (environment != nullptr) {
            process.setProcessEnvironment(*environment);
        }
        process.start(QStringLiteral(QM_QUARLOMET_EXE), list);
        process.waitForFinished(60000);
        RunResult result;
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = process.readAllStandardOutput().toStdString();
        result.err = process.readAllStandardError().toStdString();
        return result;
    }

private:
    QTemporaryDir dir_;
};

// Survey text with CR LF line ends: a heading line and one line per entry.
inline std::string Survey(const std::vector<std::string>& lines)
{
    std::string text = "Label,Field,Time,NS,Lat,EW,Lon\r\n";
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

// A data line with the given label and reading and a fixed GPS fix.
inline std::string Reading(const std::string& label, const std::string& value)
{
    return label + "," + value + ",10:00,N,5645.0993,E,03712.1697";
}

} // namespace qm::test
