// The Search page: one panel per alert type and filter (a Min/Max pair shares one), the category
// links, and the filter that shows the panels whose words the search text starts.

#include "dialogs/AlertWindowConfigForm.h"
#include "dialogs/AlertWindowConfigWidgets.h"
#include "support/DebugLog.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>

namespace kestrova {

namespace {
constexpr int TextLeft = 96; // room for two filter icons
}

void TConfigureAlertsForm::DrawSearchRows()
{
    QScrollArea *box = FPageBox[tpSearch];
    for (QWidget *child : box->widget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        delete child;
    FSearchPanels.clear();
    FCategoryPanel = nullptr;
    FSearchIndex = BuildSearchIndex(FModel.Record());
    const int width
        = box->width() - 2 * box->frameWidth() - box->verticalScrollBar()->sizeHint().width();
    for (const TSearchRow &row : FSearchIndex.Rows)
        FSearchPanels.push_back(NewSearchPanel(row, width));
    if (!FSearchIndex.Categories.empty())
        FCategoryPanel = NewCategoryPanel(width);
    FilterSearch();
}

QWidget *TConfigureAlertsForm::NewSearchPanel(const TSearchRow &row, int width)
{
    auto *panel = new QWidget(FPageBox[tpSearch]->widget());
    panel->setObjectName(QString("SearchRow_%1").arg(FSearchPanels.size()));
    std::vector<QWidget *> icons = { NewIcon(row.IsFilter, row.Index, panel, true) };
    if (row.Partner >= 0)
        icons.push_back(NewIcon(true, row.Partner, panel, true));
    auto *label = new QLabel(QString::fromStdString(row.Text), panel);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    const int textWidth = width - TextLeft - 4;
    const int textHeight = label->heightForWidth(textWidth);
    int height = textHeight;
    for (QWidget *icon : icons)
        height = std::max(height, icon->height());
    height += 4;
    label->setGeometry(TextLeft, (height - textHeight) / 2, textWidth, textHeight);
    int x = 4;
    for (QWidget *icon : icons) {
        icon->move(x, (height - icon->height()) / 2);
        x += icon->width() + 4;
    }
    panel->resize(width, height);
    return panel;
}

QWidget *TConfigureAlertsForm::NewCategoryPanel(int width)
{
    auto *panel = new QWidget(FPageBox[tpSearch]->widget());
    panel->setObjectName("CategoryPanel");
    auto *title = new QLabel("Click on a category below to limit the search:", panel);
    title->move(4, 6);
    title->resize(title->sizeHint());
    // The links flow left to right, indented, wrapping at the panel's edge.
    int x = 24, y = title->geometry().bottom() + 4;
    int lineHeight = 0;
    for (const std::string &category : FSearchIndex.Categories) {
        auto *link = new TLinkLabel(QString::fromStdString(category), panel);
        const QSize size = link->sizeHint();
        if (x > 24 && x + size.width() > width - 4) {
            x = 24;
            y += lineHeight + 2;
        }
        link->setGeometry(x, y, size.width(), size.height());
        x += size.width() + 14;
        lineHeight = std::max(lineHeight, size.height());
        connect(link, &TLinkLabel::Clicked, this, [this, category] {
            FSearchEdit->setText(QString::fromStdString(
                AddCategoryToSearch(FSearchEdit->text().toStdString(), category)));
        });
    }
    panel->resize(width, y + lineHeight + 6);
    return panel;
}

void TConfigureAlertsForm::FilterSearch()
{
    QScrollArea *box = FPageBox[tpSearch];
    box->verticalScrollBar()->setValue(0);
    const std::vector<std::string> words = SearchWords(FSearchEdit->text().toStdString());
    int y = 0;
    for (size_t i = 0; i < FSearchPanels.size(); ++i) {
        QWidget *panel = FSearchPanels[i];
        const bool shown = RowMatches(FSearchIndex.Rows[i], words);
        panel->setVisible(shown);
        if (shown) {
            panel->move(0, y);
            y += panel->height();
        }
    }
    if (FCategoryPanel) {
        FCategoryPanel->move(0, y);
        FCategoryPanel->show();
        y += FCategoryPanel->height();
    }
    box->widget()->resize(box->width() - 2 * box->frameWidth(), y);
}

} // namespace kestrova
