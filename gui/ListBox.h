#pragma once
// A list box: a column of texts the user may select one of. A list view over a
// plain string model rather than a QListWidget, which builds an item object for
// every line: a list of thousands of folders then loads as one handover of the
// texts.

#include <QListView>
#include <QStringList>

class QStringListModel;

namespace tarvik::gui {

class ListBox : public QListView
{
    Q_OBJECT

  public:
    explicit ListBox(QWidget* parent = nullptr);

    int count() const;
    QString item(int row) const;
    // The texts in their order; a shared copy, so cheap to take.
    QStringList items() const;

    void addItem(const QString& text);
    // Appends after the items already there.
    void addItems(const QStringList& texts);
    void removeItem(int row);
    void clear();

    // The selected row, or -1 without a selection.
    int selectedRow() const;
    void selectRow(int row);

  private:
    QStringListModel* m_model;
};

} // namespace tarvik::gui
