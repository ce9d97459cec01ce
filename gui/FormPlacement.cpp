#include "gui/FormPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdint>

namespace tarvik::gui {
namespace {

// Hand-edited files may hold any 32-bit number; a window larger or farther
// out than Qt can place means nothing, so such values are brought into range.
int clampCoordinate(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}

int clampSize(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, 0, QWIDGETSIZE_MAX));
}

bool hasFrame(const QWidget* form)
{
    return !form->windowFlags().testFlag(Qt::FramelessWindowHint);
}

// The available area (the screen without its panels) of the screen that
// holds most of `outer`, or of the primary screen when none holds any of it.
QRect availableAreaFor(const QRect& outer)
{
    const QScreen* best = nullptr;
    std::int64_t bestShare = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->geometry().intersected(outer);
        const std::int64_t share = std::int64_t{common.width()} * common.height();
        if (!common.isEmpty() && share > bestShare) {
            best = screen;
            bestShare = share;
        }
    }
    if (!best)
        best = QGuiApplication::primaryScreen();
    return best ? best->availableGeometry() : QRect();
}

int fitInto(int start, int length, int areaStart, int areaLength)
{
    return std::max(areaStart, std::min(start, areaStart + areaLength - length));
}

// The stored placement brought within the available area of the screen it
// lands on: a window no larger than that area, and wholly on it, so its
// title bar can be reached. A hand-edited or stale size (Width=30000) would
// otherwise cost a backing store of gigabytes at every start, and a window
// left far out would never come back. Values not stored are the form's own.
OuterPlacement fitToScreen(const QWidget* form, const OuterPlacement& placement, bool sized)
{
    const QRect own = form->frameGeometry();
    const auto pick = [](std::int32_t stored, int current, int (*clamp)(std::int64_t)) {
        return stored == -1 ? current : clamp(stored);
    };
    QRect outer(pick(placement.left, own.x(), clampCoordinate),
                pick(placement.top, own.y(), clampCoordinate),
                sized ? pick(placement.width, own.width(), clampSize) : own.width(),
                sized ? pick(placement.height, own.height(), clampSize) : own.height());
    const QRect area = availableAreaFor(outer);
    if (area.isEmpty())
        return placement;
    outer.setWidth(std::min(outer.width(), area.width()));
    outer.setHeight(std::min(outer.height(), area.height()));
    const int left = fitInto(outer.x(), outer.width(), area.x(), area.width());
    const int top = fitInto(outer.y(), outer.height(), area.y(), area.height());
    // What was not stored stays not stored where the form already fits.
    const auto keep = [](std::int32_t stored, int fitted, int current) {
        return stored == -1 && fitted == current ? -1 : fitted;
    };
    return {keep(placement.left, left, own.x()), keep(placement.top, top, own.y()),
            sized ? keep(placement.width, outer.width(), own.width()) : -1,
            sized ? keep(placement.height, outer.height(), own.height()) : -1};
}

// What Qt knows of the frame the window manager put round a shown form.
// Before the window manager has framed it (on X11, until it reparents it),
// Qt counts the frame as nothing. While it is framing it, Qt may take a
// frame not yet sized, one that fails to enclose the window, and keep it
// until the window is next configured.
enum class FrameKnowledge : std::uint8_t
{
    None,
    Stale,
    Known,
};

FrameKnowledge frameKnowledge(const QWidget* form, QMargins& frame)
{
    const QWindow* window = form->windowHandle();
    if (!window || !window->isExposed())
        return FrameKnowledge::None;
    frame = window->frameMargins();
    if (frame.left() < 0 || frame.top() < 0 || frame.right() < 0 || frame.bottom() < 0)
        return FrameKnowledge::Stale;
    return frame.isNull() ? FrameKnowledge::None : FrameKnowledge::Known;
}

bool placedByWindowManager(const QWidget* form)
{
    return (form->windowState() &
            (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) != 0;
}

void applyPlacement(QWidget* form, const OuterPlacement& placement)
{
    // move() places the frame; the frame's current position stands in for a
    // coordinate that is not stored.
    if (placement.top != -1)
        form->move(form->frameGeometry().x(), clampCoordinate(placement.top));
    if (placement.left != -1)
        form->move(clampCoordinate(placement.left), form->frameGeometry().y());
    if (!hasFrame(form))
        return;
    // The file holds the outer size; resize() takes the inner one.
    if (placement.height != -1) {
        const int frame = form->frameGeometry().height() - form->height();
        form->resize(form->width(), clampSize(std::int64_t{placement.height} - frame));
    }
    if (placement.width != -1) {
        const int frame = form->frameGeometry().width() - form->width();
        form->resize(clampSize(std::int64_t{placement.width} - frame), form->height());
    }
}

// The stored outer placement through the frame \a frame: setGeometry() takes
// the inner rectangle and, unlike move(), does not lean on the frame Qt keeps
// for the form, which may lag behind the window manager's.
void applyPlacementThrough(QWidget* form, const OuterPlacement& placement, const QMargins& frame)
{
    QRect inner = form->geometry();
    if (placement.left != -1)
        inner.moveLeft(clampCoordinate(std::int64_t{placement.left} + frame.left()));
    if (placement.top != -1)
        inner.moveTop(clampCoordinate(std::int64_t{placement.top} + frame.top()));
    if (placement.width != -1)
        inner.setWidth(clampSize(std::int64_t{placement.width} - frame.left() - frame.right()));
    if (placement.height != -1)
        inner.setHeight(clampSize(std::int64_t{placement.height} - frame.top() - frame.bottom()));
    form->setGeometry(inner);
}

// Applies the stored placement once more when the window manager has framed
// the window: applied while the frame counted as nothing, the outer size was
// taken for the inner one and the frame's position for the inner corner, so
// the window would grow by its frame, and creep, every session. Watches the
// form's native window, which hears of the frame (a move, a resize or an
// exposure) before the form does. A frame Qt took too early is refreshed
// once by a resize by one pixel, which has the window configured anew.
// Gives up, leaving the placement alone, when the window is shown without a
// frame, when the frame is still one taken too early after the refresh, or
// once the window is maximized, minimized or full screen.
class FramedPlacement : public QObject
{
  public:
    FramedPlacement(QWidget* form, const OuterPlacement& placement)
        : QObject(form), m_form(form), m_placement(placement)
    {
        form->windowHandle()->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type == QEvent::Move || type == QEvent::Resize)
            check(watched, false);
        else if (type == QEvent::Expose)
            check(watched, static_cast<QWindow*>(watched)->isExposed());
        return QObject::eventFilter(watched, event);
    }

  private:
    void check(QObject* watched, bool exposed)
    {
        QMargins frame;
        const FrameKnowledge knowledge = frameKnowledge(m_form, frame);
        if (placedByWindowManager(m_form)) {
            stop(watched);
        } else if (knowledge == FrameKnowledge::Known) {
            watched->removeEventFilter(this);
            // After the native window has dealt with this event.
            QMetaObject::invokeMethod(this, &FramedPlacement::apply, Qt::QueuedConnection);
        } else if (knowledge == FrameKnowledge::Stale && !m_refreshed) {
            m_refreshed = true;
            m_form->resize(m_form->width(), m_form->height() + 1);
        } else if (knowledge == FrameKnowledge::Stale) {
            m_form->resize(m_form->width(), m_form->height() - 1);
            stop(watched);
        } else if (exposed) {
            // Window managers frame a window before they show it: one shown
            // unframed has no frame to make up for.
            stop(watched);
        }
    }

    void apply()
    {
        QMargins frame;
        if (frameKnowledge(m_form, frame) == FrameKnowledge::Known &&
            !placedByWindowManager(m_form))
            applyPlacementThrough(m_form, m_placement, frame);
        deleteLater();
    }

    void stop(QObject* watched)
    {
        watched->removeEventFilter(this);
        deleteLater();
    }

    QWidget* m_form;
    OuterPlacement m_placement;
    bool m_refreshed = false;
};

} // namespace

void placeForm(QWidget* form, const OuterPlacement& stored, bool maximized)
{
    const OuterPlacement placement = fitToScreen(form, stored, hasFrame(form));
    applyPlacement(form, placement);
    const bool anyStored = placement.left != -1 || placement.top != -1 || placement.width != -1 ||
                           placement.height != -1;
    if (anyStored && hasFrame(form) && !maximized && form->isVisible() && form->windowHandle() &&
        form->frameGeometry() == form->geometry())
        new FramedPlacement(form, placement);
}

} // namespace tarvik::gui
