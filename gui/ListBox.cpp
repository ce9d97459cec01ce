#include "gui/ListBox.h"

#include "gui/Text.h"

#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPalette>
#include <algorithm>

namespace tarvik::gui {

int ListBoxTexts::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant ListBoxTexts::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const bool missing = m_missing[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return toQt(bytes(index.row()));
    case Qt::ForegroundRole:
        if (missing)
            return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        return {};
    case Qt::ToolTipRole:
        return missing ? QVariant(m_missingTip) : QVariant();
    default:
        return {};
    }
}

std::string_view ListBoxTexts::bytes(int row) const
{
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return {};
    const Span span = m_rows[static_cast<size_t>(row)];
    return std::string_view(m_bytes.data() + span.begin, span.size);
}

void ListBoxTexts::append(const std::vector<std::string_view>& texts)
{
    if (texts.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(texts.size()) - 1);
    // Room for all at once, but never less than double: items added one by
    // one must not move the whole list each time.
    size_t size = m_bytes.size();
    for (const std::string_view text : texts)
        size += text.size();
    if (size > m_bytes.capacity())
        m_bytes.reserve(std::max(size, 2 * m_bytes.capacity()));
    if (m_rows.size() + texts.size() > m_rows.capacity())
        m_rows.reserve(std::max(m_rows.size() + texts.size(), 2 * m_rows.capacity()));
    for (const std::string_view text : texts) {
        m_rows.push_back({m_bytes.size(), text.size()});
        m_bytes.append(text);
    }
    m_missing.resize(m_rows.size(), false);
    endInsertRows();
}

void ListBoxTexts::remove(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    m_unused += m_rows[static_cast<size_t>(row)].size;
    m_rows.erase(m_rows.begin() + row);
    m_missing.erase(m_missing.begin() + row);
    // Removed rows' bytes are dropped once they are most of the buffer.
    if (m_unused > m_bytes.size() / 2) {
        std::string kept;
        kept.reserve(m_bytes.size() - m_unused);
        for (Span& span : m_rows) {
            const size_t begin = kept.size();
            kept.append(m_bytes, span.begin, span.size);
            span.begin = begin;
        }
        m_bytes = std::move(kept);
        m_unused = 0;
    }
    endRemoveRows();
}

void ListBoxTexts::clear()
{
    beginResetModel();
    m_bytes.clear();
    m_rows.clear();
    m_missing.clear();
    m_unused = 0;
    endResetModel();
}

void ListBoxTexts::markMissing(const std::function<bool(std::string_view)>& missing,
                               const QString& tip)
{
    m_missingTip = tip;
    for (int row = 0; row < rowCount(); ++row) {
        const bool now = missing(bytes(row));
        if (m_missing[static_cast<size_t>(row)] == now)
            continue;
        m_missing[static_cast<size_t>(row)] = now;
        emit dataChanged(index(row), index(row), {Qt::ForegroundRole, Qt::ToolTipRole});
    }
}

bool ListBoxTexts::isMarkedMissing(int row) const
{
    return row >= 0 && row < rowCount() && m_missing[static_cast<size_t>(row)];
}

ListBox::ListBox(QWidget* parent) : QListView(parent), m_texts(new ListBoxTexts(this))
{
    setModel(m_texts);
}

int ListBox::count() const
{
    return m_texts->rowCount();
}

std::string_view ListBox::bytes(int row) const
{
    return m_texts->bytes(row);
}

QString ListBox::displayText(int row) const
{
    return toQt(bytes(row));
}

void ListBox::addItem(const QString& text)
{
    addItems(QStringList(text));
}

void ListBox::addItems(const QStringList& texts)
{
    std::vector<std::string> bytes;
    bytes.reserve(static_cast<size_t>(texts.size()));
    for (const QString& text : texts)
        bytes.push_back(fromQt(text));
    addBytes(std::vector<std::string_view>(bytes.begin(), bytes.end()));
}

void ListBox::addBytes(const std::vector<std::string_view>& texts)
{
    m_texts->append(texts);
}

void ListBox::removeItem(int row)
{
    m_texts->remove(row);
}

void ListBox::clear()
{
    m_texts->clear();
}

int ListBox::selectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ListBox::markMissing(const std::function<bool(std::string_view)>& missing, const QString& tip)
{
    m_texts->markMissing(missing, tip);
}

bool ListBox::isMarkedMissing(int row) const
{
    return m_texts->isMarkedMissing(row);
}

void ListBox::keyPressEvent(QKeyEvent* event)
{
    const bool menuKey = event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier;
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if ((menuKey || shiftF10) && contextMenuPolicy() == Qt::CustomContextMenu) {
        requestMenuAtCurrentItem();
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

// In viewport coordinates, as a right click reports its position.
void ListBox::requestMenuAtCurrentItem()
{
    const QModelIndex current = currentIndex();
    const QRect item = current.isValid() ? visualRect(current) : QRect();
    emit customContextMenuRequested(
        item.isValid() ? QPoint(item.left() + item.height(), item.center().y()) : QPoint(0, 0));
}

void ListBox::selectRow(int row)
{
    selectionModel()->select(m_texts->index(row),
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

} // namespace tarvik::gui
