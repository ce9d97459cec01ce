#include "ImageList.h"

#include <QFile>
#include <QString>

// Q_INIT_RESOURCE must stand outside any namespace. Calling it from this
// library also keeps the linker from dropping the pictures.
static void initPictures()
{
    Q_INIT_RESOURCE(pictures);
}

namespace tarvik::gui {
namespace {

const char* baseName(Picture which)
{
    switch (which) {
    case Picture::GreenPlus:
        return "plus";
    case Picture::DoorWithArrow:
        return "exit";
    case Picture::NotesPage:
        return "notes";
    case Picture::ArrowUpLeft:
        return "arrow";
    case Picture::RedCross:
        return "cross";
    case Picture::HammerAndWrench:
        return "tools";
    case Picture::RunBackupButton:
        return "runbackup";
    case Picture::Application:
        return "application";
    }
    return "";
}

} // namespace

QIcon picture(Picture which)
{
    static const bool initialised = (initPictures(), true);
    (void)initialised;
    const QString base = QStringLiteral(":/pictures/%1-").arg(QLatin1String(baseName(which)));
    QIcon icon;
    const int sizes[] = {16, 32, 48, 64};
    for (int size : sizes) {
        const QString file = base + QString::number(size) + QStringLiteral(".png");
        if (QFile::exists(file))
            icon.addFile(file, QSize(size, size));
    }
    return icon;
}

} // namespace tarvik::gui
