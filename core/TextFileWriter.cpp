#include "core/TextFileWriter.h"

namespace tarvik {
namespace {
void raiseOnFailure(int code)
{
    if (code != platform::fileCode::Ok)
        throw FileError(code);
}
} // namespace

void TextFileWriter::openAppendOrCreate(const std::string& path)
{
    raiseOnFailure(m_file.openAppendOrCreate(path));
}

void TextFileWriter::createNew(const std::string& path)
{
    raiseOnFailure(m_file.createNew(path));
}

void TextFileWriter::writeLine(std::string_view line)
{
    raiseOnFailure(m_file.writeLine(line));
}

void TextFileWriter::flushAndClose()
{
    raiseOnFailure(m_file.flush());
    raiseOnFailure(m_file.close());
}

} // namespace tarvik
