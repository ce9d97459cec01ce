#include "gui/ImageList.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <algorithm>
#include <array>
#include <vector>

// Q_INIT_RESOURCE must stand outside any namespace. Calling it from this
// library also keeps the linker from dropping the pictures.
static void initPictures()
{
    Q_INIT_RESOURCE(pictures);
}

namespace tarvik::gui {
namespace {

// The pictures' file names, in the order of Picture (Application last).
constexpr std::array kBaseNames = {"plus",  "exit",  "notes",     "arrow",
                                   "cross", "tools", "runbackup", "application"};
static_assert(kBaseNames.size() == static_cast<size_t>(Picture::Application) + 1,
              "one file name for each picture");

const char* baseName(Picture which)
{
    return kBaseNames[static_cast<size_t>(which)];
}

std::vector<int> sizesOf(Picture which)
{
    if (which == Picture::Application)
        return {16, 32, 48, 64};
    return {16, 32};
}

// Decoding every picture while the window is built would cost more than the
// rest of its start-up; each picture file is decoded when first drawn, once
// for the whole process.
class PictureEngine final : public QIconEngine
{
  public:
    explicit PictureEngine(Picture which) : m_which(which) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        loaded().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return loaded().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        return loaded().pixmap(size, scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        // Every picture is square and shipped up to its largest size.
        const int largest = sizesOf(m_which).back();
        const int side = std::min({size.width(), size.height(), largest});
        return {side, side};
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (int side : sizesOf(m_which))
            sizes.append(QSize(side, side));
        return sizes;
    }
    QIconEngine* clone() const override { return new PictureEngine(m_which); }
    QString key() const override { return QStringLiteral("tarvik-picture"); }

  private:
    const QIcon& loaded() const
    {
        static std::array<QIcon, static_cast<size_t>(Picture::Application) + 1> cache;
        QIcon& icon = cache[static_cast<size_t>(m_which)];
        if (icon.isNull()) {
            static const bool initialised = (initPictures(), true);
            (void)initialised;
            const QString base =
                QStringLiteral(":/pictures/%1-").arg(QLatin1String(baseName(m_which)));
            for (int side : sizesOf(m_which))
                icon.addFile(base + QString::number(side) + QStringLiteral(".png"),
                             QSize(side, side));
        }
        return icon;
    }

    Picture m_which;
};

} // namespace

QIcon picture(Picture which)
{
    return QIcon(new PictureEngine(which));
}

} // namespace tarvik::gui
