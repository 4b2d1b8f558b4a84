// The Collaboration dialog and the direction arrows.

#include "dialogs/ShareSettings.h"

#include "dialogs/Pictures.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
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

// Every text shows whole: the label is as tall as its wrapped text, the edit is under it inside
// the frame, and the buttons are under the frame inside the dialog.
void ExpectNothingCut(const TShareSettingsDlg &dialog)
{
    const QLabel &label = *dialog.Label1;
    EXPECT_GE(label.height(), label.heightForWidth(label.width()));
    EXPECT_GE(dialog.Edit1->y(), label.geometry().bottom());
    EXPECT_GE(dialog.Edit1->height(), dialog.Edit1->sizeHint().height());
    EXPECT_TRUE(dialog.Bevel1->geometry().contains(dialog.Edit1->geometry()));
    for (const QPushButton *button : { dialog.OKBtn, dialog.CancelBtn }) {
        EXPECT_GT(button->y(), dialog.Bevel1->geometry().bottom());
        EXPECT_TRUE(dialog.rect().contains(button->geometry()));
        EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text()));
    }
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
    EXPECT_EQ(dialog->font().family().toStdString(), QApplication::font().family().toStdString());
    EXPECT_EQ(dialog->font().pointSize(), 8);
    ExpectNothingCut(*dialog);
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

TEST_F(ShareSettingsTest, AWideApplicationFontMakesTheDialogTallerWithNothingCut)
{
    // Letters 4 pixels apart wrap the text into more lines than the form's layout has room for.
    const QFont usual = QApplication::font();
    QFont wide = usual;
    wide.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    QApplication::setFont(wide);
    QPointer<TShareSettingsDlg> dialog = Open();
    EXPECT_EQ(dialog->font().letterSpacing(), 4);
    EXPECT_EQ(dialog->width(), 313);
    EXPECT_GT(dialog->height(), 145);
    ExpectNothingCut(*dialog);
    QApplication::setFont(usual);
    QTest::mouseClick(dialog->CancelBtn, Qt::LeftButton);
    EXPECT_TRUE(Gone(dialog));
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
