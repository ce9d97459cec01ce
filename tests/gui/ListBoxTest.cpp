// The list box's texts through adding and removing, including the removals
// that make it drop the bytes of removed rows, and what its view is given.
#include "gui/ListBox.h"

#include "SettingsWidgets.h"

#include <QtTest>

using tarvik::gui::ListBox;

class ListBoxTest : public QObject
{
    Q_OBJECT

  private slots:
    void textsFollowAddsAndRemovals_data()
    {
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QList<int>>("removed"); // rows, one after another
        QTest::addColumn<QStringList>("then");
        QTest::addColumn<QStringList>("expected");
        const QStringList three{"/a", "/bb", "/ccc"};
        QTest::newRow("nothing removed")
            << three << QList<int>{} << QStringList{"/d"} << QStringList{"/a", "/bb", "/ccc", "/d"};
        QTest::newRow("first, then last")
            << three << QList<int>{0, 1} << QStringList{} << QStringList{"/bb"};
        QTest::newRow("most bytes removed, then added")
            << QStringList{"/a", QString(100, 'x'), "/c"} << QList<int>{1} << QStringList{"/d"}
            << QStringList{"/a", "/c", "/d"};
        QTest::newRow("all removed, then added")
            << three << QList<int>{2, 1, 0} << QStringList{"/e", ""} << QStringList{"/e", ""};
        QTest::newRow("rows it does not have")
            << three << QList<int>{3, -1} << QStringList{} << three;
        QTest::newRow("letters beyond ASCII")
            << QStringList{QString::fromUtf8("/m\xC3\xBCnchen"), "/x"} << QList<int>{1}
            << QStringList{QString::fromUtf8("/\xE2\x82\xAC")}
            << QStringList{QString::fromUtf8("/m\xC3\xBCnchen"),
                           QString::fromUtf8("/\xE2\x82\xAC")};
    }

    void textsFollowAddsAndRemovals()
    {
        QFETCH(QStringList, first);
        QFETCH(QList<int>, removed);
        QFETCH(QStringList, then);
        QFETCH(QStringList, expected);
        ListBox list;
        for (const QString& text : first)
            list.addItem(text);
        for (const int row : removed)
            list.removeItem(row);
        list.addItems(then);
        QCOMPARE(tarvik::test::itemsOf(list), expected);
        QCOMPARE(list.count(), expected.size());
        for (int row = 0; row < list.count(); ++row) {
            QCOMPARE(list.model()->data(list.model()->index(row, 0)).toString(), expected[row]);
            QCOMPARE(QString::fromUtf8(list.bytes(row).data(),
                                       static_cast<qsizetype>(list.bytes(row).size())),
                     expected[row]);
        }
        QVERIFY(list.bytes(list.count()).empty());
    }

    // The user picks items; nothing is edited in place.
    void itemsAreSelectedNotEdited()
    {
        ListBox list;
        list.addItems({"/a", "/b"});
        list.selectRow(1);
        QCOMPARE(list.selectedRow(), 1);
        const QModelIndex second = list.model()->index(1, 0);
        QVERIFY(!(list.model()->flags(second) & Qt::ItemIsEditable));
        list.removeItem(1);
        QCOMPARE(list.selectedRow(), -1);
    }
};

QTEST_MAIN(ListBoxTest)
#include "ListBoxTest.moc"
