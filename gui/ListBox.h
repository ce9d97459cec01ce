#pragma once
// A list box: a column of texts the user may select one of.
//
// The texts are held as the 8-bit bytes the settings file and the backup
// script use, end to end in one buffer, and only the rows on screen are
// converted for display. A list of thousands of folders then loads as one
// copy of its bytes and saves without a conversion per item, where a
// QListWidget builds an item object, and a string model a QString, per line.

#include <QAbstractListModel>
#include <QListView>
#include <QStringList>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::gui {

// The texts of a list box, for its view.
class ListBoxTexts final : public QAbstractListModel
{
  public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    std::string_view text(int row) const;
    void append(const std::vector<std::string_view>& texts);
    void remove(int row);
    void clear();

  private:
    struct Span
    {
        size_t begin;
        size_t size;
    };
    std::string m_bytes;
    std::vector<Span> m_rows;
    size_t m_unused = 0; // bytes of removed rows still in m_bytes
};

class ListBox : public QListView
{
    Q_OBJECT

  public:
    explicit ListBox(QWidget* parent = nullptr);

    int count() const;
    // Item `row` as the 8-bit text it is held as, valid until the list
    // changes; empty for a row the list does not have.
    std::string_view text(int row) const;
    QString item(int row) const;
    QStringList items() const;

    void addItem(const QString& text);
    // Appends after the items already there.
    void addItems(const QStringList& texts);
    void addTexts(const std::vector<std::string_view>& texts);
    void removeItem(int row);
    void clear();

    // The selected row, or -1 without a selection.
    int selectedRow() const;
    void selectRow(int row);

  private:
    ListBoxTexts* m_texts;
};

} // namespace tarvik::gui
