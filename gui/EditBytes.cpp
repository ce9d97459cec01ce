#include "gui/EditBytes.h"

#include "gui/Text.h"

#include <QByteArray>
#include <QLineEdit>
#include <QVariant>

namespace tarvik::gui {
namespace {

// Kept on the edit itself, so that the bytes go with the widget they belong
// to and a store, which holds no widget, can find them at the next save.
constexpr const char* kBytesProperty = "tarvikBytes";

} // namespace

void setEditBytes(QLineEdit* edit, std::string_view bytes)
{
    edit->setText(toQt(bytes));
    edit->setProperty(kBytesProperty,
                      QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string editBytes(const QLineEdit* edit)
{
    const QString text = edit->text();
    const QVariant kept = edit->property(kBytesProperty);
    if (kept.isValid()) {
        const QByteArray bytes = kept.toByteArray();
        const std::string_view view(bytes.constData(), static_cast<size_t>(bytes.size()));
        if (toQt(view) == text)
            return std::string(view);
    }
    return fromQt(text);
}

} // namespace tarvik::gui
