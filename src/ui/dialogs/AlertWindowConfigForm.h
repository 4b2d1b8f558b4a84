#pragma once
// The configure-alerts dialog: fixed pages around the rows built from the server's catalogue,
// the strategy tree, the Search page and the recent-changes strip. The state lives in
// TAlertConfigModel; the widgets show it and report the user's changes to it.
//
// One instance is shared by every alert window (ConfigureAlertsForm below). It is application-
// modal and shown with open(), never with a nested event loop. GUI thread only.
//
// Controls carry object names tests look for: the fixed ones by their role ("OkayButton",
// "SearchEdit", ...), rows by their entry ("AlertType_<Code>", "Quality_<Code>",
// "Filter_<Name>", "Exchange_<Code>", "SymbolList_<Id>", "SearchRow_<n>").

#include "dialogs/AlertWindowConfigModel.h"
#include "dialogs/AlertWindowConfigSearch.h"

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QTabWidget;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrova {

class IAlertPictures;
class TAllAlertsConnection;
class TIconBox;
class TWrapCheckBox;

class TConfigureAlertsForm : public QDialog, private IAlertConfigView
{
    Q_OBJECT
public:
    enum TPage {
        tpStrategies,
        tpSearch,
        tpSelectAlerts,
        tpFilters,
        tpExchanges,
        tpSymbolLists,
        tpWindowName,
        tpPageCount
    };

    // pictures may be null (no icons are drawn); neither is owned.
    TConfigureAlertsForm(IAlertConfigSession &session, IAlertPictures *pictures);
    ~TConfigureAlertsForm() override;

    // The window's configuration string, set before every showing.
    void SetConfigToEdit(const std::string &config) { FModel.SetConfigToEdit(config); }
    // Shows the dialog application-modal without a nested event loop; the result comes with
    // finished().
    void open() override;
    void done(int result) override;

    TAlertConfigModel &Model() { return FModel; }
    QTabWidget *Pages() const { return FPages; }
    QWidget *Page(TPage page) const;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct TTypeRow
    {
        TIconBox *Icon = nullptr;
        TWrapCheckBox *Check = nullptr;
        QLineEdit *Quality = nullptr;
    };
    struct TFilterRow
    {
        QWidget *Check = nullptr; // QCheckBox (yes/no) or null
        QLineEdit *Edit = nullptr; // number filter
    };

    // IAlertConfigView
    void RebuildListPages() override;
    void CreateOtherOptions() override;
    void FillStrategyTree() override;
    void ShowOptions() override;
    void Refresh() override;
    void StartRetryTimer(int intervalMs) override;
    void StopRetryTimer() override;

    // Fixed layout.
    void BuildFixedLayout();
    void FitTabs();
    QScrollArea *NewScrollBox(QWidget *page, const QRect &geometry, const char *name);
    void BuildStrategiesPage(QWidget *page);
    void BuildSearchPage(QWidget *page);
    void BuildSymbolListsPage(QWidget *page);
    void BuildWindowNamePage(QWidget *page);

    // Rows built from the catalogue.
    void DrawAlertsTab();
    void DrawFiltersTab();
    void DrawSearchRows();
    void FilterSearch();
    QWidget *NewSearchPanel(const TSearchRow &row, int width);
    QWidget *NewCategoryPanel(int width);
    TIconBox *NewIcon(bool isFilter, int index, QWidget *parent, bool goesToRow);
    void GoToRow(bool isFilter, int index);
    void ShowHelp(bool isFilter, int index);

    // Strategy tree.
    void StrategySelected();
    int SelectedNode() const;
    void ShowCurrentIcons(const IXmlNode *settings);
    void RefreshRecentChanges();

    void OkayButtonClick();
    void FlipButtonClick();
    void PageChanged(int index);
    void WheelOnPage(int delta);

    TAlertConfigModel FModel;
    IAlertConfigSession &FSession;
    IAlertPictures *FPictures;
    bool FRefreshing = false;

    QTabWidget *FPages = nullptr;
    QLabel *FPleaseWait = nullptr;
    QPushButton *FOkay = nullptr, *FCancel = nullptr, *FFlip = nullptr;
    QTimer *FRetryTimer = nullptr;
    QScrollArea *FPageBox[tpPageCount] = {};
    QPointer<QWidget> FPageFocus[tpPageCount];

    std::array<QIcon, LoadedMarkImage + 1> FImages;
    QTreeWidget *FTree = nullptr;
    std::vector<QTreeWidgetItem *> FNodes;
    QLabel *FDescription = nullptr;
    QWidget *FCurrentIcons = nullptr;
    QPushButton *FLoadSettings = nullptr;

    QLineEdit *FSearchEdit = nullptr;
    TSearchIndex FSearchIndex;
    std::vector<QWidget *> FSearchPanels;
    QWidget *FCategoryPanel = nullptr;

    std::vector<TTypeRow> FTypeRows;
    std::vector<TFilterRow> FFilterRows;
    std::vector<QWidget *> FExchangeBoxes, FListBoxes;
    QRadioButton *FModeButtons[4] = {};
    QLineEdit *FSingleSymbol = nullptr;

    QLineEdit *FWindowName = nullptr;
    QLabel *FRecentLabel = nullptr;
    std::vector<TIconBox *> FRecentIcons;
};

// The dialog's view of an alert session: the given one, or the process-wide one (looked up on
// every use) when none is given.
class TAlertConfigSession : public IAlertConfigSession
{
public:
    explicit TAlertConfigSession(TAllAlertsConnection *session = nullptr)
        : FSession(session)
    {
    }
    IServerRequests &Requests() override;
    std::string ReplacementSamplesUrl() const override;
    std::array<uint64_t, 2> Generation() const override;
    void ShowHelpTopic(const std::string &topic) override;
    void ShowPrefixedHelpTopic(const std::string &topic) override;

private:
    TAllAlertsConnection &Session() const;
    TAllAlertsConnection *FSession;
};

// The result of one showing for one window.
struct TConfigureAlertsResult
{
    bool Accepted = false; // OK pressed
    bool Changed = false; // the configuration string differs from the one loaded
    std::string Config; // the new configuration string (when Accepted)
};

// The shared dialog, created on first use on the process-wide session and pictures.
TConfigureAlertsForm &ConfigureAlertsForm();
// Frees the shared dialog (the last alert window is gone); an open one is cancelled first.
void FreeConfigureAlertsForm();
// True while the shared dialog is open for some window.
bool ConfigureAlertsBusy();
// The shared dialog if it was made (and not freed), else null.
TConfigureAlertsForm *ExistingConfigureAlertsForm();

// Opens the shared dialog on a window's data configuration. While it is open (for any window)
// this does nothing and returns false. beforeModal (may be empty) gets the dialog's window
// handle before it shows; done is called once when it closes. When owner is destroyed first the
// dialog is cancelled and done is not called.
bool OpenConfigureAlerts(QObject *owner, const std::string &config,
    std::function<void(uintptr_t windowHandle)> beforeModal,
    std::function<void(const TConfigureAlertsResult &)> done);

// The same on a given dialog (tests use their own).
bool OpenConfigureAlerts(TConfigureAlertsForm &form, QObject *owner, const std::string &config,
    std::function<void(uintptr_t windowHandle)> beforeModal,
    std::function<void(const TConfigureAlertsResult &)> done);

} // namespace kestrova
