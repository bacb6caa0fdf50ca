// The skinned combo box: sorted adding, item height, frame and arrows, cut
// texts and the open list's width.
#include <QAbstractItemView>
#include <QPushButton>

#include "app/widgets/CKelvarComboBox.h"
#include "widgets_test_support.h"

namespace {

using namespace widgets_test;

TEST(ComboBoxTest, SortedBoxAddsInTextOrderIgnoringCase)
{
    CKelvarComboBox plain;
    CKelvarComboBox sorted;
    sorted.SetSorted(true);
    const QStringList adding = {"beta", "Alpha", "gamma", "Beta", "alpha2"};
    for (int i = 0; i < adding.size(); ++i) {
        plain.addItem(adding[i]);
        sorted.addItem(adding[i], i);
    }
    QStringList order;
    for (int i = 0; i < sorted.count(); ++i) {
        order.append(sorted.itemText(i));
        EXPECT_EQ(plain.itemText(i), adding[i]);
        EXPECT_EQ(adding[sorted.itemData(i).toInt()], sorted.itemText(i)) << "data goes with its text";
    }
    EXPECT_EQ(order, QStringList({"Alpha", "alpha2", "beta", "Beta", "gamma"}));
    EXPECT_EQ(sorted.view()->sizeHintForRow(0), 17);
}

TEST(ComboBoxTest, FrameAndArrowPerState)
{
    CKelvarComboBox combo;
    combo.resize(120, 22);  // arrow 16 high: unscaled
    combo.addItem("USB disk");
    auto expectArrow = [&](const QImage& shot, int bitmap) {
        const QImage arrow = Artwork("BMP", bitmap);
        int differing = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                differing += shot.pixel(101 + x, 3 + y) != arrow.pixel(x, y);
        EXPECT_EQ(differing, 0) << bitmap;
    };
    QImage shot = Grab(combo);
    EXPECT_EQ(shot.pixelColor(0, 0), QColor(126, 157, 185));
    EXPECT_EQ(shot.pixelColor(1, 11), QColor(Qt::white));
    EXPECT_EQ(shot.pixelColor(60, 19), QColor(Qt::white));
    expectArrow(shot, 184);

    combo.setEnabled(false);
    shot = Grab(combo);
    EXPECT_EQ(shot.pixelColor(0, 0), QColor(126, 157, 185));
    EXPECT_EQ(shot.pixelColor(90, 11), QColor(225, 225, 225));
    expectArrow(shot, 185);
}

TEST(ComboBoxTest, LongNamesEndInAnEllipsisAndTheOpenListKeepsToTheBox)
{
    // As the search page lays them out: the Refresh button right of the box.
    QWidget page;
    page.resize(431, 333);
    auto* combo = new CKelvarComboBox(&page);
    combo->setGeometry(103, 71, 218, 20);
    auto* refresh = new QPushButton(QStringLiteral("Refresh"), &page);
    refresh->setGeometry(332, 70, 79, 23);
    const QString name = QStringLiteral("ORVANE Appliance Disk USB Device (7.9 GB, serial 0123456789ABCDEF)");
    combo->addItem(QStringLiteral("Disk"));
    combo->addItem(name);
    page.show();

    EXPECT_EQ(combo->ShownText(), QStringLiteral("Disk"));
    combo->setCurrentIndex(1);
    const QString shown = combo->ShownText();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(name.startsWith(shown.chopped(1)));
    EXPECT_LE(combo->fontMetrics().horizontalAdvance(shown), combo->width() - 21);

    combo->showPopup();
    const QWidget* list = combo->view()->window();
    ASSERT_TRUE(list->isVisible());
    const QRect listRect = list->geometry();
    const QRect refreshRect(refresh->mapToGlobal(QPoint(0, 0)), refresh->size());
    EXPECT_EQ(listRect.width(), combo->width());
    EXPECT_EQ(listRect.left(), combo->mapToGlobal(QPoint(0, 0)).x());
    EXPECT_FALSE(listRect.intersects(refreshRect));
    combo->hidePopup();
}

}  // namespace
