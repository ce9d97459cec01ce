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
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QKeyEvent;

namespace tarvik::gui {

// The texts of a list box, for its view.
class ListBoxTexts final : public QAbstractListModel
{
  public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    std::string_view bytes(int row) const;
    void append(const std::vector<std::string_view>& texts);
    void remove(int row);
    void clear();

    // Rows whose text names something that is not there are drawn greyed,
    // with `tip` as their tooltip; the texts themselves stay as they are.
    void markMissing(const std::function<bool(std::string_view)>& missing, const QString& tip);
    bool isMarkedMissing(int row) const;

  private:
    struct Span
    {
        size_t begin;
        size_t size;
    };
    std::string m_bytes;
    std::vector<Span> m_rows;
    std::vector<bool> m_missing; // one per row
    QString m_missingTip;
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
    std::string_view bytes(int row) const;
    // Item `row` as the user sees it.
    QString displayText(int row) const;

    // Each appends after the items already there: display texts, or the
    // 8-bit texts as they are held.
    void addItem(const QString& text);
    void addItems(const QStringList& texts);
    void addBytes(const std::vector<std::string_view>& texts);
    void removeItem(int row);
    void clear();

    // The selected row, or -1 without a selection.
    int selectedRow() const;
    void selectRow(int row);

    // See ListBoxTexts::markMissing.
    void markMissing(const std::function<bool(std::string_view)>& missing, const QString& tip);
    bool isMarkedMissing(int row) const;

  protected:
    // The Menu key and Shift+F10 ask for the context menu at the current
    // item, as a right click asks for it under the mouse. (Where the platform
    // turns the Menu key into a context-menu request of its own, as X11 does,
    // Qt places that one at the current item too.)
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void requestMenuAtCurrentItem();

    ListBoxTexts* m_texts;
};

} // namespace tarvik::gui
