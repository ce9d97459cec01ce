#include "gui/PictureLoader.h"

#include "gui/JPEGImage.h"

namespace tarvik::gui {
namespace {

std::vector<PictureFormat>& registry()
{
    static std::vector<PictureFormat> formats;
    return formats;
}

} // namespace

void registerFileFormat(const QString& extension, const QString& description,
                        const QString& className, std::function<std::unique_ptr<TGraphic>()> create)
{
    PictureFormat format{extension, description, className, std::move(create)};
    for (auto& known : registry()) {
        if (known.extension.compare(extension, Qt::CaseInsensitive) == 0) {
            known = std::move(format);
            return;
        }
    }
    registry().push_back(std::move(format));
}

const std::vector<PictureFormat>& pictureFormats()
{
    return registry();
}

std::unique_ptr<TGraphic> createGraphicByClassName(const QString& className)
{
    for (const auto& format : registry())
        if (format.className == className)
            return format.create();
    return nullptr;
}

void registerPictureFormats()
{
    const QString description = QStringLiteral("JPEG Image File");
    registerFileFormat<TJPEGImage>(QStringLiteral("jpeg"), description);
    registerFileFormat<TJPEGImage>(QStringLiteral("jpg"), description);
}

namespace {
// Registered as the program starts, before main(), so that every picture a
// layout names can be found from the first window on.
[[maybe_unused]] const bool g_registeredAtStartUp = (registerPictureFormats(), true);
} // namespace

} // namespace tarvik::gui
