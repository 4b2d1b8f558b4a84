#pragma once
// The alert grid's context menu. Its items are built from one table; each item carries a command
// whose update step (caption, enabled, checked, visible, picture) runs whenever the menu is about
// to show, and whose execute step runs when it is clicked. The host reaches items by their
// caption path (SimulateClick) and appends items of its own (AddCustomItem). Owned by its grid;
// GUI thread only.

#include <QObject>
#include <QPoint>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;

namespace kestrova {

class TAlertGrid;
class TPicturesForm;

// What an item does; the update and execute steps dispatch on it.
enum TMenuCommand : uint8_t {
    mcNone, // a separator or a plain sub-menu
    mcClear,
    mcConfigure,
    mcCollaborate,
    mcRealTime,
    mcMore,
    mcTimeFrame,
    mcSaveSeparator,
    mcSaveContents,
    mcSaveQuorix,
    mcLinesMenu, // "Columns" or "Rows"
    mcSelectedColumn,
    mcAddAll,
    mcColumn, // Arg: a data type
    mcDirection, // Arg: a direction
    mcColors, // the sub-menu of schemes
    mcScheme, // Text: a scheme name
    mcViewMode, // Arg: the mode, Arg2: the sort key
    mcShowAllPanels,
    mcCustom, // Text: the host's caption, Arg: its id
};

class TAlertGridMenus : public QObject
{
    Q_OBJECT

public:
    explicit TAlertGridMenus(TAlertGrid &grid);
    ~TAlertGridMenus() override;

    QMenu &Menu() const { return *FMenu; }
    // Opens the menu at a position of the grid's viewport, which the "Remove ..." item reads.
    void Popup(QPoint viewportPos);
    QPoint PopupPoint() const { return FPopupPoint; }
    void SetPopupPoint(QPoint viewportPos) { FPopupPoint = viewportPos; }

    // The update step of every item, as opening the menu runs it: the "Colors" sub-menu is
    // rebuilt first when the server's display schemes changed since it was last built.
    void Update();
    // Walks a comma-text path of captions from the top of the menu: each non-empty element,
    // trimmed, selects the first item of the current level whose caption matches it ("&" marks
    // removed from both, case ignored). After the update step, the item reached is clicked when
    // it has no sub-items and is visible and enabled. An element that matches nothing ends the
    // walk and nothing is clicked. True when an item was clicked.
    bool SimulateClick(const std::string &path);
    // The item a path reaches, or nullptr (no update step). For tests and the host's menu walk.
    QAction *Find(const std::string &path) const;
    // Appends an item at the end of the menu; clicking it raises the grid's OnCustomMenu.
    void AddCustomItem(const std::string &caption, int id);

    // A caption without its accelerator marks: every "&" goes, so "Group & Sort By" finds the
    // item captioned "Group && Sort By".
    static std::string StripAccelerators(const std::string &caption);

private:
    struct TItem
    {
        QAction *Action = nullptr;
        TMenuCommand Command = mcNone;
        int Arg = 0, Arg2 = 0;
        std::string Text;
    };

    void Build();
    QAction *AddItem(QMenu &menu, const std::string &caption, TItem item, bool withSubMenu);
    void RebuildColors();
    void UpdateItem(const TItem &item);
    void Execute(const TItem &item);
    void ExecuteColumn(int type);
    // The data line under the popup point, or -1.
    int LineUnderPopup() const;

    TAlertGrid &FGrid;
    QMenu *FMenu; // the grid's child, freed with this object
    QMenu *FColors = nullptr;
    QActionGroup *FSchemeGroup = nullptr;
    std::unique_ptr<TPicturesForm> FPictures;
    std::vector<TItem> FItems; // every item but the schemes
    std::vector<TItem> FSchemes;
    uint64_t FColorsGeneration = 0;
    bool FColorsBuilt = false;
    QPoint FPopupPoint { -1, -1 };
};

} // namespace kestrova
