// The rows the configure-alerts dialog builds from the server's catalogue, the strategy tree
// with the icons of the selected strategy, and the recent-changes strip.

#include "dialogs/AlertPictures.h"
#include "dialogs/AlertWindowConfigForm.h"
#include "dialogs/AlertWindowConfigWidgets.h"
#include "support/DebugLog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollArea>
#include <QTabWidget>
#include <QTreeWidget>

namespace kestrova {

namespace {

void DeleteChildren(QWidget *parent)
{
    for (QWidget *child : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        delete child;
}

// Makes the scroll box's content as tall as its rows.
void FitContent(QScrollArea *box, int height)
{
    box->widget()->resize(box->width() - 2 * box->frameWidth(), height);
}

QLabel *NewLabel(const std::string &text, QWidget *parent, const QRect &geometry,
    Qt::Alignment alignment = Qt::AlignLeft)
{
    auto *label = new QLabel(QString::fromStdString(text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(alignment | Qt::AlignVCenter);
    label->setGeometry(geometry);
    label->setToolTip(QString::fromStdString(text));
    return label;
}

QLineEdit *NewEdit(QWidget *parent, const QRect &geometry, const QString &name)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(geometry);
    return edit;
}

} // namespace

TIconBox *TConfigureAlertsForm::NewIcon(bool isFilter, int index, QWidget *parent, bool goesToRow)
{
    const TAlertConfigRecord &r = FModel.Record();
    auto *icon = isFilter
        ? new TIconBox(FPictures, pkFilter, r.Filters[index].Name + ".gif", false, parent)
        : new TIconBox(FPictures, pkAlertType, r.AlertTypes[index].Code + ".gif", true, parent);
    icon->setToolTip(QString::fromStdString(
        isFilter ? r.Filters[index].Description : r.AlertTypes[index].Description));
    connect(icon, &TIconBox::HelpClicked, this, [this, isFilter, index] {
        RunGuarded("AlertWindowConfig, TConfigureAlertsForm.IconClick",
            [&] { ShowHelp(isFilter, index); });
    });
    if (goesToRow)
        connect(icon, &TIconBox::GoToRowClicked, this, [this, isFilter, index] {
            RunGuarded("AlertWindowConfig, TConfigureAlertsForm.IconClick",
                [&] { GoToRow(isFilter, index); });
        });
    return icon;
}

void TConfigureAlertsForm::CreateOtherOptions()
{
    const TAlertConfigRecord &r = FModel.Record();
    if (FPictures) { // ask for every icon now, so they load while the user looks around
        for (const auto &type : r.AlertTypes)
            FPictures->Picture(pkAlertType, type.Code + ".gif");
        for (const auto &filter : r.Filters)
            FPictures->Picture(pkFilter, filter.Name + ".gif");
    }
    // The recent-changes icons point at rows that are about to go.
    for (TIconBox *icon : FRecentIcons)
        delete icon;
    FRecentIcons.clear();
    DrawAlertsTab();
    DrawFiltersTab();
    DrawSearchRows();
}

void TConfigureAlertsForm::DrawAlertsTab()
{
    QScrollArea *box = FPageBox[tpSelectAlerts];
    QWidget *content = box->widget();
    DeleteChildren(content);
    FTypeRows.clear();
    const auto &types = FModel.Record().AlertTypes;
    for (size_t i = 0; i < types.size(); ++i) {
        const TAlertTypeEntry &type = types[i];
        const int y = 32 * static_cast<int>(i) + 8;
        TTypeRow row;
        row.Icon = NewIcon(false, static_cast<int>(i), content, false);
        row.Icon->move(8, y - 1);
        row.Check = new TWrapCheckBox(QString::fromStdString(type.Description), content);
        row.Check->setObjectName(QString::fromStdString("AlertType_" + type.Code));
        row.Check->setGeometry(56, y - 4, type.HasQuality() ? 161 : 417, 26);
        row.Check->setToolTip(QString::fromStdString(type.Description));
        connect(row.Check->Box(), &QCheckBox::toggled, this, [this, i](bool on) {
            if (!FRefreshing)
                FModel.SetAlertTypeChecked(i, on);
        });
        if (type.HasQuality()) {
            row.Quality = NewEdit(
                content, QRect(224, y, 49, 21), QString::fromStdString("Quality_" + type.Code));
            connect(row.Quality, &QLineEdit::textChanged, this, [this, i](const QString &text) {
                if (!FRefreshing)
                    FModel.SetAlertTypeQuality(i, text.toStdString());
            });
            QLabel *name = NewLabel(type.QualityName, content, QRect(280, y + 4, 193, 16));
            name->setWordWrap(true);
            // A name that wraps grows downwards; centre it on the row instead.
            const int height = std::max(16, name->heightForWidth(193));
            name->setGeometry(280, y + 4 - (height - 16) / 2, 193, height);
        }
        FTypeRows.push_back(row);
    }
    FitContent(box, 32 * static_cast<int>(types.size()) + 8);
    for (QWidget *child : content->findChildren<QWidget *>())
        child->show();
}

void TConfigureAlertsForm::DrawFiltersTab()
{
    QScrollArea *box = FPageBox[tpFilters];
    QWidget *content = box->widget();
    DeleteChildren(content);
    FFilterRows.clear();
    const auto &filters = FModel.Record().Filters;
    for (size_t i = 0; i < filters.size(); ++i) {
        const TFilterEntry &filter = filters[i];
        const int y = 32 * static_cast<int>(i) + 8;
        const QString name = QString::fromStdString("Filter_" + filter.Name);
        TFilterRow row;
        if (filter.Kind == fkYesNo) {
            auto *check = new QCheckBox(CaptionText(filter.Description), content);
            check->setObjectName(name);
            check->setGeometry(8, y + 3, 418, 17);
            check->setToolTip(QString::fromStdString(filter.Description));
            connect(check, &QCheckBox::toggled, this, [this, i](bool on) {
                if (!FRefreshing)
                    FModel.SetFilterChecked(i, on);
            });
            row.Check = check;
        } else {
            NewLabel(filter.Description, content, QRect(8, y + 4, 217, 16), Qt::AlignRight);
            NewIcon(true, static_cast<int>(i), content, false)->move(232, y);
            row.Edit = NewEdit(content, QRect(278, y, 49, 21), name);
            connect(row.Edit, &QLineEdit::textChanged, this, [this, i](const QString &text) {
                if (!FRefreshing)
                    FModel.SetFilterValue(i, text.toStdString());
            });
            NewLabel(filter.Units, content, QRect(335, y + 4, 138, 16));
        }
        FFilterRows.push_back(row);
    }
    FitContent(box, 32 * static_cast<int>(filters.size()) + 8);
    for (QWidget *child : content->findChildren<QWidget *>())
        child->show();
}

void TConfigureAlertsForm::RebuildListPages()
{
    const TAlertConfigRecord &r = FModel.Record();
    auto rebuild = [this](TPage page, std::vector<QWidget *> &boxes, size_t count, auto entry,
                       auto changed) {
        QWidget *content = FPageBox[page]->widget();
        DeleteChildren(content);
        boxes.clear();
        for (size_t i = 0; i < count; ++i) {
            const auto [caption, name, enabled] = entry(i);
            auto *box = new QCheckBox(CaptionText(caption), content);
            box->setObjectName(QString::fromStdString(name));
            box->setGeometry(8, 24 * static_cast<int>(i) + 6, 457, 17);
            box->setEnabled(enabled);
            box->show();
            connect(box, &QCheckBox::toggled, this, [this, i, changed](bool on) {
                if (!FRefreshing)
                    (FModel.*changed)(i, on);
            });
            boxes.push_back(box);
        }
        FitContent(FPageBox[page], 24 * static_cast<int>(count) + 8);
    };
    rebuild(
        tpExchanges, FExchangeBoxes, r.Exchanges.size(),
        [&](size_t i) {
            const TExchangeEntry &e = r.Exchanges[i];
            return std::make_tuple(e.Description, "Exchange_" + e.Code, !e.Disabled);
        },
        &TAlertConfigModel::SetExchangeChecked);
    rebuild(
        tpSymbolLists, FListBoxes, r.SymbolLists.size(),
        [&](size_t i) {
            const TSymbolListEntry &l = r.SymbolLists[i];
            return std::make_tuple(l.Name, "SymbolList_" + l.Id, true);
        },
        &TAlertConfigModel::SetSymbolListChecked);
    FPages->setTabVisible(tpSymbolLists, !r.SymbolLists.empty());
}

void TConfigureAlertsForm::FillStrategyTree()
{
    QScopedValueRollback<bool> filling(FRefreshing, true);
    FTree->clear();
    FNodes.clear();
    const TStrategyTree &tree = FModel.Strategies();
    for (const TStrategyInfo &node : tree.Nodes) {
        auto *item = node.Parent < 0 ? new QTreeWidgetItem(FTree)
                                     : new QTreeWidgetItem(FNodes[node.Parent]);
        item->setText(0, QString::fromStdString(node.Name));
        item->setIcon(0, FImages[node.Image()]);
        FNodes.push_back(item);
    }
    if (tree.Current >= 0) {
        FTree->setCurrentItem(FNodes[tree.Current]);
        FTree->scrollToItem(FNodes[tree.Current]);
    }
    StrategySelected();
}

int TConfigureAlertsForm::SelectedNode() const
{
    const auto it = std::find(FNodes.begin(), FNodes.end(), FTree->currentItem());
    return it == FNodes.end() ? -1 : static_cast<int>(it - FNodes.begin());
}

void TConfigureAlertsForm::StrategySelected()
{
    const int node = SelectedNode();
    const auto &nodes = FModel.Strategies().Nodes;
    FDescription->setText(node < 0 ? QString() : QString::fromStdString(nodes[node].Description));
    ShowCurrentIcons(node < 0 ? nullptr : nodes[node].Config.get());
    FLoadSettings->setEnabled(FModel.CanLoadStrategy(node));
}

void TConfigureAlertsForm::ShowCurrentIcons(const IXmlNode *settings)
{
    DeleteChildren(FCurrentIcons);
    const TAlertConfigRecord &r = FModel.Record();
    std::vector<TIconBox *> icons;
    const IXmlNode *types = settings ? settings->ChildNodeNamed("ALERT_TYPES") : nullptr;
    for (size_t i = 0; types && i < r.AlertTypes.size(); ++i) {
        const TAlertTypeEntry &type = r.AlertTypes[i];
        const IXmlNode *selected = types->ChildNodeNamed(type.Code);
        if (!selected)
            continue;
        TIconBox *icon = NewIcon(false, static_cast<int>(i), FCurrentIcons, true);
        const std::string quality(selected->Attribute("QUALITY"));
        if (type.HasQuality() && !quality.empty())
            icon->setToolTip(QString::fromStdString(
                type.Description + "; Filter = " + quality + " (" + type.QualityName + ")"));
        icons.push_back(icon);
    }
    const IXmlNode *filters
        = settings ? settings->ChildNodeNamed("WINDOW_SPECIFIC_FILTERS") : nullptr;
    for (size_t i = 0; filters && i < r.Filters.size(); ++i) {
        const TFilterEntry &filter = r.Filters[i];
        const IXmlNode *set = filters->ChildNodeNamed(filter.Name);
        if (!set)
            continue;
        TIconBox *icon = NewIcon(true, static_cast<int>(i), FCurrentIcons, true);
        icon->setToolTip(QString::fromStdString(filter.Description + " = "
            + std::string(set->Attribute("VALUE")) + " (" + filter.Units + ")"));
        icons.push_back(icon);
    }
    for (size_t k = 0; k < icons.size(); ++k) {
        icons[k]->move(45 * static_cast<int>(k % 5) + 4, 25 * static_cast<int>(k / 5) + 4);
        icons[k]->show();
    }
    // The description on top, the icons below it, all in the scrolling box.
    QScrollArea *box = FPageBox[tpStrategies];
    const int width = box->width() - 2 * box->frameWidth() - 4;
    const int textHeight = FDescription->text().isEmpty() ? 0 : FDescription->heightForWidth(width);
    FDescription->setGeometry(4, 4, width, textHeight);
    const int n = static_cast<int>(icons.size());
    FCurrentIcons->setGeometry(0, textHeight + 4, width, 25 * ((n + 4) / 5) + 4);
    FitContent(box, FCurrentIcons->geometry().bottom() + 1);
}

void TConfigureAlertsForm::RefreshRecentChanges()
{
    const auto &recent = FModel.RecentChanges();
    QScrollArea *box = FPageBox[tpWindowName];
    if (recent.size() < FRecentIcons.size()) {
        for (TIconBox *icon : FRecentIcons)
            delete icon;
        FRecentIcons.clear();
    }
    for (size_t k = FRecentIcons.size(); k < recent.size(); ++k) {
        TIconBox *icon = NewIcon(recent[k].IsFilter, recent[k].Index, box->widget(), true);
        icon->move(47 * static_cast<int>(k % 10) + 7, 27 * static_cast<int>(k / 10) + 7);
        icon->show();
        FRecentIcons.push_back(icon);
    }
    FRecentLabel->setVisible(!recent.empty());
    box->setVisible(!recent.empty());
    FitContent(box, 27 * static_cast<int>((recent.size() + 9) / 10) + 8);
}

} // namespace kestrova
