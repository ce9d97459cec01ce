#include "ListBox.h"

#include <QItemSelectionModel>
#include <QStringListModel>

namespace tarvik::gui {

ListBox::ListBox(QWidget* parent) : QListView(parent), m_model(new QStringListModel(this))
{
    setModel(m_model);
    // Items are chosen here, never edited in place.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

int ListBox::count() const
{
    return m_model->rowCount();
}

QString ListBox::item(int row) const
{
    return m_model->data(m_model->index(row), Qt::DisplayRole).toString();
}

QStringList ListBox::items() const
{
    return m_model->stringList();
}

void ListBox::addItem(const QString& text)
{
    addItems(QStringList(text));
}

void ListBox::addItems(const QStringList& texts)
{
    if (texts.isEmpty())
        return;
    if (count() == 0) {
        m_model->setStringList(texts);
        return;
    }
    // Rows inserted, not the model reset, so that a selection stays.
    const int first = count();
    m_model->insertRows(first, static_cast<int>(texts.size()));
    for (int i = 0; i < texts.size(); ++i)
        m_model->setData(m_model->index(first + i), texts[i]);
}

void ListBox::removeItem(int row)
{
    m_model->removeRows(row, 1);
}

void ListBox::clear()
{
    m_model->setStringList({});
}

int ListBox::selectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ListBox::selectRow(int row)
{
    selectionModel()->select(m_model->index(row),
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

} // namespace tarvik::gui
