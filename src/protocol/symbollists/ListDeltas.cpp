#include "symbollists/ListDeltas.h"

#include <algorithm>
#include <cctype>

namespace kestrova {

namespace {

int CompareText(const std::string &a, const std::string &b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool LessText(const std::string &a, const std::string &b)
{
    return CompareText(a, b) < 0;
}

std::string LineList(const TSortedStrings &list)
{
    std::string text;
    for (const std::string &s : list.Items())
        text += s + '\n';
    return text;
}

} // namespace

std::string NormalisedSymbol(const std::string &symbol)
{
    size_t begin = 0, end = symbol.size();
    while (begin < end && static_cast<unsigned char>(symbol[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(symbol[end - 1]) <= ' ')
        --end;
    std::string s = symbol.substr(begin, end - begin);
    for (char &c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// --- TSortedStrings -------------------------------------------------------------------------

TSortedStrings::TSortedStrings(const std::vector<std::string> &items)
{
    for (const std::string &s : items)
        Add(s);
}

void TSortedStrings::Add(const std::string &s)
{
    const auto it = std::lower_bound(FItems.begin(), FItems.end(), s, LessText);
    if (it == FItems.end() || CompareText(*it, s) != 0)
        FItems.insert(it, s);
}

void TSortedStrings::Remove(const std::string &s)
{
    const auto it = std::lower_bound(FItems.begin(), FItems.end(), s, LessText);
    if (it != FItems.end() && CompareText(*it, s) == 0)
        FItems.erase(it);
}

bool TSortedStrings::Contains(const std::string &s) const
{
    return std::binary_search(FItems.begin(), FItems.end(), s, LessText);
}

// --- TListDelta -----------------------------------------------------------------------------

void TListDelta::AddSymbol(const std::string &s)
{
    ToDelete.Remove(s);
    ToAdd.Add(s);
    if (Mode == ModeDeleteList)
        Mode = ModeReplace;
}

void TListDelta::DeleteSymbol(const std::string &s)
{
    ToAdd.Remove(s);
    if (Mode != ModeIncremental)
        Mode = ModeReplace; // the list is rebuilt from ToAdd anyway
    else
        ToDelete.Add(s);
}

void TListDelta::ReplaceAll(const std::vector<std::string> &list)
{
    Mode = ModeReplace;
    ToDelete.Clear();
    ToAdd = TSortedStrings(list);
}

void TListDelta::DeleteList()
{
    Mode = ModeDeleteList;
    ToAdd.Clear();
    ToDelete.Clear();
}

void MergeDelta(std::optional<TListDelta> &inFlight, TListDelta pending)
{
    if (!inFlight) {
        inFlight = std::move(pending);
    } else if (pending.Mode != TListDelta::ModeIncremental) {
        const bool requestList = pending.RequestList || inFlight->RequestList;
        inFlight = std::move(pending);
        inFlight->RequestList = requestList;
    } else {
        if (pending.RequestList)
            inFlight->RequestList = true;
        for (const std::string &s : pending.ToAdd.Items())
            inFlight->AddSymbol(s);
        for (const std::string &s : pending.ToDelete.Items())
            inFlight->DeleteSymbol(s);
    }
}

TMessageToServer BuildUpdateListRequest(
    int32_t listId, const std::string &name, const TListDelta &delta)
{
    TMessageToServer message { { "id", std::to_string(listId) }, { "name", name } };
    if (delta.Mode == TListDelta::ModeDeleteList) {
        message.push_back({ "delete_list", "1" });
    } else {
        if (delta.Mode == TListDelta::ModeReplace)
            message.push_back({ "delete_all", "1" });
        if (!delta.ToAdd.Empty())
            message.push_back({ "add", LineList(delta.ToAdd) });
        if (!delta.ToDelete.Empty())
            message.push_back({ "delete", LineList(delta.ToDelete) });
        if (delta.RequestList)
            message.push_back({ "request_list", "1" });
    }
    message.push_back({ "command", "update_list" });
    return message;
}

} // namespace kestrova
