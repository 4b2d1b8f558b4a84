// The alert grid's context menu: the table of items, the update and execute steps, the "Colors"
// rebuild, the host's caption paths and items, and the "More" command.

#include "grid/AlertGridsMenus.h"

#include "dialogs/Pictures.h"
#include "grid/AlertGrids.h"
#include "grid/AlertGridsFormatting.h"
#include "grid/AlertPanel.h"
#include "support/CommaText.h"
#include "support/DebugLog.h"

#include <QActionGroup>
#include <QMenu>
#include <algorithm>

namespace kestrova {

namespace {

// One row of the menu table. Level 0 rows are the menu's own items; a row followed by rows of a
// deeper level opens a sub-menu holding them. A row without a caption expands into one item per
// data type: the columns (types 1 to 14) or the sort keys (the groupable types).
struct TMenuRow
{
    int Level;
    const char *Caption;
    TMenuCommand Command;
    int Arg = 0;
    int Arg2 = 0;
};

const TMenuRow MenuTable[] = {
    { 0, "Clear", mcClear },
    { 0, "Configure...", mcConfigure },
    { 0, "Collaborate...", mcCollaborate },
    { 0, "History", mcNone },
    { 1, "RealTime", mcRealTime },
    { 1, "More", mcMore },
    { 1, "Time Frame...", mcTimeFrame },
    { 1, "-", mcSaveSeparator },
    { 1, "Save Contents...", mcSaveContents },
    { 1, "Save Quorix Results...", mcSaveQuorix },
    { 0, "Columns", mcLinesMenu },
    { 1, "", mcSelectedColumn },
    { 1, "Add All", mcAddAll },
    { 1, "-", mcNone },
    { 1, nullptr, mcColumn },
    { 0, "Direction", mcNone },
    { 1, "Up", mcDirection, adUp },
    { 1, "Down", mcDirection, adDown },
    { 1, "Left", mcDirection, adLeft },
    { 1, "Right", mcDirection, adRight },
    { 0, "Colors", mcColors },
    { 0, "View Mode", mcNone },
    { 1, "Newest First", mcViewMode, vmNewestFirst },
    { 1, "Write Over", mcViewMode, vmWriteOver },
    { 1, "Group && Sort By", mcViewMode, vmGroupSortBy },
    { 2, nullptr, mcViewMode, vmGroupSortBy },
    { 1, "Group && Newest Symbols First", mcViewMode, vmGroupNewestSymbols },
    { 0, "Show All Panels", mcShowAllPanels },
};

struct TExpandedRow
{
    int Level;
    std::string Caption;
    TMenuCommand Command;
    int Arg, Arg2;
};

std::vector<TExpandedRow> ExpandedRows()
{
    std::vector<TExpandedRow> rows;
    for (const TMenuRow &row : MenuTable) {
        if (row.Caption) {
            rows.push_back({ row.Level, row.Caption, row.Command, row.Arg, row.Arg2 });
            continue;
        }
        for (int type = cdIcon; type < DataTypeCount; ++type) {
            if (row.Command == mcColumn)
                rows.push_back({ row.Level, DataTypeInfo(type).Name, mcColumn, type, 0 });
            else if (IsGroupable(type))
                rows.push_back({ row.Level, DataTypeInfo(type).Name, row.Command, row.Arg, type });
        }
    }
    return rows;
}

bool Checkable(TMenuCommand command)
{
    return command == mcRealTime || command == mcColumn || command == mcViewMode
        || command == mcScheme;
}

TArrowDirection ArrowOf(int direction)
{
    switch (direction) {
    case adUp:
        return arUp;
    case adLeft:
        return arLeft;
    case adRight:
        return arRight;
    default:
        return arDown;
    }
}

bool SameCaption(const QString &caption, const std::string &wanted)
{
    return QString::fromStdString(TAlertGridMenus::StripAccelerators(caption.toStdString()))
               .compare(QString::fromStdString(wanted), Qt::CaseInsensitive)
        == 0;
}

// The first item of a menu level with that caption (separators never match).
QAction *FindItem(const QMenu &menu, const std::string &wanted)
{
    for (QAction *action : menu.actions())
        if (!action->isSeparator() && SameCaption(action->text(), wanted))
            return action;
    return nullptr;
}

} // namespace

TAlertGridMenus::TAlertGridMenus(TAlertGrid &grid)
    : FGrid(grid)
    , FMenu(new QMenu(&grid))
    , FPictures(std::make_unique<TPicturesForm>())
{
    Build();
    connect(FMenu, &QMenu::aboutToShow, this,
        [this] { RunGuarded("AlertGrids, TAlertGrid.PopupMenuPopup", [this] { Update(); }); });
    grid.setContextMenuPolicy(Qt::CustomContextMenu);
    // A scroll area reports the position in its viewport's coordinates.
    connect(&grid, &QWidget::customContextMenuRequested, this, [this](QPoint pos) {
        RunGuarded("AlertGrids, TAlertGrid.ContextPopup", [&] { Popup(pos); });
    });
}

TAlertGridMenus::~TAlertGridMenus()
{
    delete FMenu;
}

void TAlertGridMenus::Build()
{
    const std::vector<TExpandedRow> rows = ExpandedRows();
    std::vector<QMenu *> levels { FMenu };
    for (size_t i = 0; i < rows.size(); ++i) {
        const TExpandedRow &row = rows[i];
        levels.resize(static_cast<size_t>(row.Level) + 1);
        QMenu &menu = *levels.back();
        if (row.Caption == "-") {
            FItems.push_back({ .Action = menu.addSeparator(), .Command = row.Command, .Text = {} });
            continue;
        }
        const bool parent
            = row.Command == mcColors || (i + 1 < rows.size() && rows[i + 1].Level > row.Level);
        QAction *action
            = AddItem(menu, row.Caption, { nullptr, row.Command, row.Arg, row.Arg2, {} }, parent);
        if (parent)
            levels.push_back(action->menu());
        if (row.Command == mcColors)
            FColors = action->menu();
    }
    // Radio groups: the view modes and the sort keys.
    auto *modes = new QActionGroup(FMenu);
    auto *keys = new QActionGroup(FMenu);
    for (const TItem &item : FItems)
        if (item.Command == mcViewMode)
            (item.Arg2 == cdBlank ? modes : keys)->addAction(item.Action);
}

QAction *TAlertGridMenus::AddItem(
    QMenu &menu, const std::string &caption, TItem item, bool withSubMenu)
{
    const QString text = QString::fromStdString(caption);
    if (withSubMenu) {
        QMenu *sub = menu.addMenu(text);
        item.Action = sub->menuAction();
        connect(sub, &QMenu::aboutToShow, this, [this, sub] {
            RunGuarded("AlertGrids, TAlertGrid.SubMenuPopup", [&] {
                for (const TItem &i : FItems)
                    if (i.Action->associatedObjects().contains(sub))
                        UpdateItem(i);
            });
        });
    } else {
        item.Action = menu.addAction(text);
    }
    item.Action->setCheckable(Checkable(item.Command));
    if (!withSubMenu)
        connect(item.Action, &QAction::triggered, this, [this, item, caption] {
            RunGuarded("AlertGrids, TAlertGrid.MenuClick(" + caption + ")", [&] { Execute(item); });
        });
    (item.Command == mcScheme ? FSchemes : FItems).push_back(item);
    return item.Action;
}

// ---- the update step ----

void TAlertGridMenus::Update()
{
    const TFormattingTable &table = FormattingTable();
    if (!FColorsBuilt || table.Generation() != FColorsGeneration)
        RebuildColors();
    for (const TItem &item : FItems)
        UpdateItem(item);
    for (const TItem &item : FSchemes)
        UpdateItem(item);
}

void TAlertGridMenus::RebuildColors()
{
    FColorsBuilt = true;
    FColorsGeneration = FormattingTable().Generation();
    FSchemes.clear();
    FColors->clear();
    delete FSchemeGroup;
    FSchemeGroup = new QActionGroup(FColors);
    for (const TFormattingScheme &scheme : FormattingTable().Schemes()) {
        const std::string caption = scheme.Caption.empty() ? scheme.Name : scheme.Caption;
        FSchemeGroup->addAction(
            AddItem(*FColors, caption, { nullptr, mcScheme, 0, 0, scheme.Name }, false));
    }
    if (FSchemes.empty())
        FColors->addAction("Loading from server...")->setEnabled(false);
}

int TAlertGridMenus::LineUnderPopup() const
{
    const bool vertical = IsVertical(FGrid.Direction());
    const QPoint at = vertical ? QPoint(FPopupPoint.x(), 0) : QPoint(0, FPopupPoint.y());
    if (FPopupPoint.x() < 0 || FPopupPoint.y() < 0)
        return -1;
    const TGridCoord cell = FGrid.MouseToCell(at);
    return vertical ? cell.X : cell.Y;
}

void TAlertGridMenus::UpdateItem(const TItem &item)
{
    QAction &a = *item.Action;
    const TAlertGrid &g = FGrid;
    const auto &types = g.DataTypes();
    const auto shows
        = [&](int type) { return std::find(types.begin(), types.end(), type) != types.end(); };
    switch (item.Command) {
    case mcClear:
        a.setEnabled(g.ClearEnabled());
        break;
    case mcRealTime:
        a.setChecked(g.RealTime());
        a.setEnabled(g.RealTimeEnabled());
        break;
    case mcMore:
        a.setEnabled(g.MoreEnabled());
        break;
    case mcTimeFrame:
        a.setEnabled(g.TimeFrameEnabled());
        break;
    case mcSaveSeparator:
    case mcSaveContents:
    case mcSaveQuorix:
        a.setVisible(!g.OnBeforeModal);
        break;
    case mcLinesMenu:
        a.setText(g.LinesCaption());
        break;
    case mcSelectedColumn: {
        const int type = g.DataTypeAt(LineUnderPopup());
        if (type != cdBlank) {
            a.setEnabled(true);
            a.setText(QString("Remove \"%1\"").arg(DataTypeInfo(type).Name));
        } else {
            a.setEnabled(false);
            a.setText(IsVertical(g.Direction()) ? "Remove the Column Under the Mouse"
                                                : "Remove the Row Under the Mouse");
        }
        break;
    }
    case mcAddAll: {
        bool missing = false;
        for (int type = cdIcon; type < DataTypeCount; ++type)
            missing = missing || !shows(type);
        a.setText("Add All");
        a.setEnabled(missing);
        break;
    }
    case mcColumn:
        a.setText(DataTypeInfo(item.Arg).Name);
        a.setChecked(shows(item.Arg));
        break;
    case mcDirection:
        a.setIcon(FPictures->MenuImage(ArrowOf(item.Arg), g.Direction() == item.Arg ? 1 : 0));
        break;
    case mcScheme:
        a.setChecked(item.Text == g.SchemeName());
        break;
    case mcViewMode:
        a.setEnabled(item.Arg != vmWriteOver || g.RealTime());
        a.setChecked(
            g.ViewMode() == item.Arg && (item.Arg2 == cdBlank || g.SortKey() == item.Arg2));
        break;
    default:
        break;
    }
}

// ---- the execute step ----

void TAlertGridMenus::Execute(const TItem &item)
{
    TAlertGrid &g = FGrid;
    switch (item.Command) {
    case mcClear:
        g.Clear();
        break;
    case mcConfigure:
        g.ConfigureClicked();
        break;
    case mcCollaborate:
        g.CollaborateClicked();
        break;
    case mcRealTime:
        g.ToggleRealTime(true);
        break;
    case mcMore:
        g.RequestMore();
        break;
    case mcTimeFrame:
        g.TimeFrameClicked();
        break;
    case mcSaveContents:
        g.SaveContentsClicked();
        break;
    case mcSaveQuorix:
        g.SaveQuorixResultsClicked();
        break;
    case mcSelectedColumn:
        if (const int line = LineUnderPopup(); g.DataTypeAt(line) != cdBlank)
            IsVertical(g.Direction()) ? g.DeleteColumn(line) : g.DeleteRow(line);
        break;
    case mcAddAll:
        for (int type = cdIcon; type < DataTypeCount; ++type)
            if (std::find(g.DataTypes().begin(), g.DataTypes().end(), type) == g.DataTypes().end())
                g.AddDataType(type);
        break;
    case mcColumn:
        ExecuteColumn(item.Arg);
        break;
    case mcDirection:
        g.SetDirection(item.Arg);
        break;
    case mcScheme:
        g.SetSchemeName(item.Text);
        for (const TItem &scheme : FSchemes)
            UpdateItem(scheme);
        g.InvalidateGrid();
        break;
    case mcViewMode:
        if (item.Arg != vmGroupSortBy || item.Arg2 != cdBlank)
            g.SetViewMode(item.Arg, item.Arg2);
        break;
    case mcShowAllPanels:
        g.Panel().ShowAllPanels();
        break;
    case mcCustom:
        if (g.OnCustomMenu)
            g.OnCustomMenu(item.Text, item.Arg);
        break;
    default:
        break;
    }
}

void TAlertGridMenus::ExecuteColumn(int type)
{
    const auto &types = FGrid.DataTypes();
    const auto at = std::find(types.begin(), types.end(), type);
    if (at == types.end()) {
        FGrid.AddDataType(type);
        return;
    }
    const int line = static_cast<int>(at - types.begin());
    IsVertical(FGrid.Direction()) ? FGrid.DeleteColumn(line) : FGrid.DeleteRow(line);
}

// ---- opening, paths and host items ----

void TAlertGridMenus::Popup(QPoint viewportPos)
{
    FPopupPoint = viewportPos;
    FMenu->popup(FGrid.viewport()->mapToGlobal(viewportPos));
}

std::string TAlertGridMenus::StripAccelerators(const std::string &caption)
{
    std::string result = caption;
    std::erase(result, '&');
    return result;
}

QAction *TAlertGridMenus::Find(const std::string &path) const
{
    QAction *reached = nullptr;
    const QMenu *level = FMenu;
    for (const std::string &element : SplitCommaText(path)) {
        if (element.empty())
            continue;
        if (!level)
            return nullptr; // a leaf has no items to choose from
        reached = FindItem(*level, StripAccelerators(element));
        if (!reached)
            return nullptr;
        level = reached->menu();
    }
    return reached;
}

bool TAlertGridMenus::SimulateClick(const std::string &path)
{
    Update(); // what the user would see on opening the menu
    QAction *action = Find(path);
    if (!action || action->menu() || !action->isEnabled() || !action->isVisible())
        return false;
    action->trigger();
    return true;
}

void TAlertGridMenus::AddCustomItem(const std::string &caption, int id)
{
    AddItem(*FMenu, caption, { nullptr, mcCustom, id, 0, caption }, false);
}

// ---- the grid's "More" command ----

void TAlertGrid::RequestMore()
{
    Clear();
    FMoreEnabled = false;
    FTimeFrameEnabled = false;
    FConnection->SetHistoryMaxCount(FList->Capacity);
    FConnection->RequestMoreHistory();
    RefreshWindowName();
}

} // namespace kestrova
