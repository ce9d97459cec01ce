#pragma once
// The one argument of the programs that draw pictures: the folder they write
// into, made when it is not there yet.

#include <QDir>
#include <QString>
#include <cstdio>
#include <optional>

namespace tarvik::tools {

// The folder named on the command line, created if needed; nothing, after a
// usage line on stderr, when the program was not given exactly one argument.
inline std::optional<QString> outputFolder(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return std::nullopt;
    }
    QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    return folder;
}

} // namespace tarvik::tools
