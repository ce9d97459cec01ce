#pragma once
// The program's picture loader: picture classes register the file extensions
// they read, and a stored layout names a picture by its class. The program's
// own classes are registered as it starts (registerPictureFormats()).

#include <QByteArray>
#include <QImage>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace tarvik::gui {

// A picture read from its file bytes.
class TGraphic
{
  public:
    virtual ~TGraphic() = default;
    // Replaces the picture with the one in `bytes`; throws when they do not
    // hold a readable picture, and then keeps the previous one.
    virtual void loadFromBytes(const QByteArray& bytes) = 0;
    virtual const QImage& image() const = 0;

    int width() const { return image().width(); }
    int height() const { return image().height(); }
};

struct PictureFormat
{
    QString extension; // without the dot, as registered
    QString description;
    QString className;
    std::function<std::unique_ptr<TGraphic>()> create;
};

// Adds `Graphic` for `extension`; a later registration of the same extension
// replaces the earlier one.
void registerFileFormat(const QString& extension, const QString& description,
                        const QString& className,
                        std::function<std::unique_ptr<TGraphic>()> create);

template <class Graphic>
void registerFileFormat(const QString& extension, const QString& description)
{
    registerFileFormat(extension, description, QString::fromLatin1(Graphic::ClassName),
                       [] { return std::make_unique<Graphic>(); });
}

// The registered formats, in the order they were first registered.
const std::vector<PictureFormat>& pictureFormats();

// A new, empty picture of the registered class `className`; null when no
// format names that class.
std::unique_ptr<TGraphic> createGraphicByClassName(const QString& className);

// What the start-up registers: TJPEGImage for "jpeg", then "jpg". Calling it
// again changes nothing.
void registerPictureFormats();

} // namespace tarvik::gui
