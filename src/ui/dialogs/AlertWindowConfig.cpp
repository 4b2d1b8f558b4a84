#include "dialogs/AlertWindowConfig.h"

#include "support/Exceptions.h"
#include "support/UrlEncoding.h"

#include <algorithm>

namespace kestrova {

namespace {

std::string Attr(const IXmlNode &node, std::string_view name)
{
    return std::string(node.Attribute(name));
}

// The children of parent (null: none), each handed to read in document order.
template<typename F>
void ForEachChild(const IXmlNode *parent, F read)
{
    if (!parent)
        return;
    for (int i = 0; i < parent->ChildCount(); ++i)
        read(*parent->ChildNode(i));
}

const IXmlNode *Child(const IXmlNode *parent, std::string_view name)
{
    return parent ? parent->ChildNodeNamed(name) : nullptr;
}

void ReadStrategyLevel(const PXmlNode &parent, int parentIndex, TStrategyTree &tree)
{
    for (int i = 0; i < parent->ChildCount(); ++i) {
        const PXmlNode node = parent->Child(i);
        TStrategyInfo info;
        info.IsFolder = node->Name() == "FOLDER";
        info.Name = Attr(*node, "NAME");
        info.Icon = Attr(*node, "ICON");
        info.Description = Attr(*node, "DESCRIPTION");
        info.UserMustModify = node->Attribute("USER_MUST_MODIFY") == "1";
        info.Parent = parentIndex;
        if (!info.IsFolder)
            info.Config = node->ChildNamed("CONFIG");
        const int index = static_cast<int>(tree.Nodes.size());
        if (node->Attribute("CURRENT") == "1")
            tree.Current = index;
        tree.Nodes.push_back(std::move(info));
        if (tree.Nodes.back().IsFolder)
            ReadStrategyLevel(node, index, tree);
    }
}

} // namespace

bool TAlertConfigRecord::SameControlsAs(const TAlertConfigRecord &other) const
{
    auto sameType = [](const TAlertTypeEntry &a, const TAlertTypeEntry &b) {
        return a.Code == b.Code && a.Description == b.Description && a.QualityName == b.QualityName
            && a.Keywords == b.Keywords;
    };
    auto sameFilter = [](const TFilterEntry &a, const TFilterEntry &b) {
        return a.Kind == b.Kind && a.Name == b.Name && a.Description == b.Description
            && a.Units == b.Units && a.Keywords == b.Keywords;
    };
    return std::equal(AlertTypes.begin(), AlertTypes.end(), other.AlertTypes.begin(),
               other.AlertTypes.end(), sameType)
        && std::equal(
            Filters.begin(), Filters.end(), other.Filters.begin(), other.Filters.end(), sameFilter);
}

TAlertConfigRecord ParseAlertCatalogue(const IXmlNode *config)
{
    TAlertConfigRecord record;
    ForEachChild(Child(config, "ALERT_TYPES"), [&](const IXmlNode &node) {
        TAlertTypeEntry entry;
        entry.Code = std::string(node.Name());
        entry.Description = Attr(node, "DESCRIPTION");
        entry.Keywords = Attr(node, "KEYWORDS");
        entry.QualityName = Attr(node, "QUALITY_NAME");
        entry.Flip = Attr(node, "FLIP");
        record.AlertTypes.push_back(std::move(entry));
    });
    ForEachChild(Child(config, "WINDOW_SPECIFIC_FILTERS"), [&](const IXmlNode &node) {
        TFilterEntry entry;
        const std::string type = Attr(node, "TYPE");
        if (type == "D") {
            entry.Kind = fkNumber;
            entry.Units = Attr(node, "UNITS");
        } else if (type == "B") {
            entry.Kind = fkYesNo;
        } else {
            KV_ASSERT(false, ("Invalid filter type:  " + type).c_str());
        }
        entry.Name = std::string(node.Name());
        entry.Description = Attr(node, "DESCRIPTION");
        entry.Keywords = Attr(node, "KEYWORDS");
        entry.Flip = Attr(node, "FLIP");
        record.Filters.push_back(std::move(entry));
    });
    ForEachChild(Child(config, "EXCHANGES"), [&](const IXmlNode &node) {
        record.Exchanges.push_back({ std::string(node.Name()), Attr(node, "DESCRIPTION"),
            node.Attribute("DISABLED") == "1" });
    });
    ForEachChild(Child(config, "SYMBOL_LISTS"), [&](const IXmlNode &node) {
        record.SymbolLists.push_back({ std::string(node.Name()), Attr(node, "NAME") });
    });
    return record;
}

int TStrategyInfo::Image() const
{
    static const char *const icons[] = { "!", "+", "-", "*", ":)" };
    for (int i = 0; i < 5; ++i)
        if (Icon == icons[i])
            return i;
    return IsFolder ? 5 : 0;
}

TStrategyTree ParseStrategies(const PXmlNode &strategies)
{
    TStrategyTree tree;
    if (strategies)
        ReadStrategyLevel(strategies, -1, tree);
    return tree;
}

void ApplyStrategyConfig(TAlertConfigRecord &record, const IXmlNode *settings)
{
    record.WindowName = settings ? Attr(*settings, "WINDOW_NAME") : std::string();

    const IXmlNode *types = Child(settings, "ALERT_TYPES");
    for (auto &type : record.AlertTypes) {
        const IXmlNode *selected = Child(types, type.Code);
        type.Checked = selected != nullptr;
        if (type.HasQuality())
            type.Quality = selected ? Attr(*selected, "QUALITY") : std::string();
    }

    const IXmlNode *filters = Child(settings, "WINDOW_SPECIFIC_FILTERS");
    for (auto &filter : record.Filters) {
        const IXmlNode *set = Child(filters, filter.Name);
        const std::string value = set ? Attr(*set, "VALUE") : std::string();
        if (filter.Kind == fkNumber)
            filter.Value = value;
        else
            filter.Checked = value == "1";
    }

    const IXmlNode *exchanges = Child(settings, "EXCHANGES");
    for (auto &exchange : record.Exchanges)
        exchange.Checked = !exchange.Disabled && Child(exchanges, exchange.Code);

    const IXmlNode *lists = Child(settings, "SYMBOL_LISTS");
    record.SingleSymbol = lists ? Attr(*lists, "SYMBOL") : std::string();
    const std::string mode = lists ? Attr(*lists, "MODE") : std::string();
    record.SymbolMode = mode == "only" ? smOnly
        : mode == "exclude"            ? smExclude
        : mode == "single"             ? smSingle
                                       : smAll;
    for (auto &list : record.SymbolLists)
        list.Checked = Child(lists, list.Id) != nullptr;
}

std::string BuildConfigString(const TAlertConfigRecord &record)
{
    std::string out = "form=1";
    auto item = [&out](const std::string &key, const std::string &value) {
        out += '&';
        out += key;
        out += '=';
        out += value;
    };
    for (const auto &type : record.AlertTypes) {
        if (!type.Checked)
            continue;
        item("Sh_" + type.Code, "ON");
        if (type.HasQuality() && !type.Quality.empty())
            item("Q" + type.Code, UrlEncode(type.Quality));
    }
    for (const auto &filter : record.Filters) {
        if (filter.Kind == fkYesNo && filter.Checked)
            item(filter.Name, "ON");
        else if (filter.Kind == fkNumber && !filter.Value.empty())
            item(filter.Name, UrlEncode(filter.Value));
    }
    for (const auto &exchange : record.Exchanges)
        if (exchange.Checked)
            item(exchange.Code, "ON");
    static const char *const modes[] = { "1", "", "2", "3" };
    item("EntireUniverse", modes[record.SymbolMode]);
    if (record.SymbolMode == smOnly || record.SymbolMode == smExclude)
        for (const auto &list : record.SymbolLists)
            if (list.Checked)
                item(list.Id, "ON");
    if (record.SymbolMode == smSingle)
        item("SingleSymbol", UrlEncode(record.SingleSymbol));
    if (!record.WindowName.empty())
        item("WN", UrlEncode(record.WindowName));
    return out;
}

} // namespace kestrova
