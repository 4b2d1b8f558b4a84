#pragma once
// The Search page's index, free of widgets: one row per alert type and per filter (a "Min X"
// number filter and its "Max X" partner with the same units share one row), the words each row
// is found by, and the categories (words beginning with ".") offered as links.

#include "dialogs/AlertWindowConfig.h"

#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

struct TSearchRow
{
    bool IsFilter = false;
    int Index = 0; // into AlertTypes or Filters
    int Partner = -1; // the "Max" filter sharing a "Min" filter's row, or -1
    std::string Text; // the row's label
    std::vector<std::string> Words;
};

struct TSearchIndex
{
    std::vector<TSearchRow> Rows; // alert types first, then filters, in catalogue order
    std::vector<std::string> Categories; // link texts, sorted, without repeats
};

// Maximal runs of letters, digits and "." upper-cased, plus "$", "%" and "/" as words of their
// own when the text holds them.
std::vector<std::string> SearchWords(std::string_view text);

TSearchIndex BuildSearchIndex(const TAlertConfigRecord &record);

// True when every search word is a prefix of one of the row's words.
bool RowMatches(const TSearchRow &row, const std::vector<std::string> &searchWords);

// The search text after clicking a category link.
std::string AddCategoryToSearch(const std::string &searchText, const std::string &category);

} // namespace kestrova
