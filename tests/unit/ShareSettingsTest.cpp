// The Collaboration dialog and the direction arrows.

#include "dialogs/ShareSettings.h"

#include "dialogs/Pictures.h"
#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <optional>

using namespace kestrova;

namespace {

// True once the dialog freed itself (a deferred delete, which only an event loop or this runs).
bool Gone(const QPointer<TShareSettingsDlg> &dialog)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return dialog.isNull();
}

struct ShareSettingsTest : ::testing::Test
{
    ShareSettingsTest() { Owner.show(); }
    // Opens the dialog on Owner for a window whose configuration is "form=1&WN=Mine".
    TShareSettingsDlg *Open()
    {
        TShareSettingsHooks hooks;
        hooks.GetDataConfig = [] { return std::string("form=1&WN=Mine"); };
        hooks.SetDataConfig = [this](const std::string &text) { Applied = text; };
        hooks.BeforeModal = [this](QDialog &dialog) { ShownBefore = dialog.isVisible(); };
        return OpenShareSettings(&Owner, "http://example.com/View.php?", hooks);
    }

    QWidget Owner;
    std::optional<std::string> Applied;
    std::optional<bool> ShownBefore;
};

TEST_F(ShareSettingsTest, OkHandsTheTextToTheWindowAndTheDialogGoes)
{
    QPointer<TShareSettingsDlg> dialog = Open();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->windowTitle(), "Collaboration");
    EXPECT_EQ(dialog->size(), QSize(313, 145));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(ShownBefore, false) << "the before-modal hook runs before the dialog shows";
    EXPECT_EQ(dialog->Edit1->text(), "http://example.com/View.php?form=1&WN=Mine");
    EXPECT_EQ(dialog->Edit1->selectedText(), dialog->Edit1->text());

    // Another user's address, pasted over the selection.
    QTest::keyClicks(dialog->Edit1, "http://example.com/View.php?form=1&WN=Theirs");
    QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
    EXPECT_EQ(Applied, "http://example.com/View.php?form=1&WN=Theirs");
    EXPECT_TRUE(Gone(dialog));
}

TEST_F(ShareSettingsTest, CancelChangesNothingAndAnEmptiedEditIsHandedOver)
{
    QPointer<TShareSettingsDlg> dialog = Open();
    QTest::mouseClick(dialog->CancelBtn, Qt::LeftButton);
    EXPECT_TRUE(Gone(dialog));
    EXPECT_FALSE(Applied);

    // Enter presses the default button, OK; an emptied edit is handed over as it is (the window
    // ignores an empty configuration).
    dialog = Open();
    dialog->Edit1->clear();
    QTest::keyClick(dialog->Edit1, Qt::Key_Return);
    EXPECT_EQ(Applied, "");
}

// The row (or column) where the arrow is widest: its head's base, on the side it points to.
int WidestLine(const QImage &image, bool rows)
{
    int best = 0, bestCount = -1;
    for (int i = 0; i < 16; ++i) {
        int count = 0;
        for (int j = 0; j < 16; ++j)
            count += qAlpha(rows ? image.pixel(j, i) : image.pixel(i, j)) > 128;
        if (count > bestCount)
            best = i, bestCount = count;
    }
    return best;
}

TEST(Pictures, FourArrowsPointTheirWayOnATransparentGround)
{
    TPicturesForm pictures;
    for (const QImage *arrow :
        { &pictures.ArrowUp, &pictures.ArrowDown, &pictures.ArrowLeft, &pictures.ArrowRight }) {
        ASSERT_EQ(arrow->size(), QSize(16, 16));
        EXPECT_EQ(qAlpha(arrow->pixel(0, 0)), 0);
        EXPECT_GT(qAlpha(arrow->pixel(8, 8)), 200);
    }
    EXPECT_LT(WidestLine(pictures.ArrowUp, true), 8);
    EXPECT_GT(WidestLine(pictures.ArrowDown, true), 8);
    EXPECT_LT(WidestLine(pictures.ArrowLeft, false), 8);
    EXPECT_GT(WidestLine(pictures.ArrowRight, false), 8);
    EXPECT_EQ(pictures.UpArrow.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32),
        pictures.ArrowUp.convertToFormat(QImage::Format_ARGB32));
}

} // namespace
