#include "dialogs/AlertWindowConfigSearch.h"

#include <algorithm>

namespace kestrova {

namespace {

bool IsWordByte(char ch)
{
    const auto c = static_cast<unsigned char>(ch);
    // Bytes of multi-byte characters count as letters.
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.'
        || c >= 0x80;
}

std::string Upper(std::string s)
{
    for (auto &c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return s;
}

std::string RowText(
    const std::string &description, const std::string &detail, const std::string &keywords)
{
    std::string text = description;
    if (!detail.empty())
        text += " [" + detail + "]";
    if (!keywords.empty())
        text += " { " + keywords + " }";
    return text;
}

bool StartsWith(const std::string &s, std::string_view prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool IsPairOf(const TFilterEntry &min, const TFilterEntry &max)
{
    return min.Kind == fkNumber && max.Kind == fkNumber && StartsWith(min.Description, "Min ")
        && max.Description == "Max " + min.Description.substr(4) && max.Units == min.Units;
}

// "PRICE.ACTION." style words as a link text: lower case, dots as blanks, trimmed.
std::string CategoryLabel(const std::string &word)
{
    std::string label;
    for (char c : word)
        label += c == '.' ? ' ' : (c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
    const size_t first = label.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return label.substr(first, label.find_last_not_of(' ') - first + 1);
}

} // namespace

std::vector<std::string> SearchWords(std::string_view text)
{
    std::vector<std::string> words;
    for (size_t i = 0; i < text.size();) {
        if (!IsWordByte(text[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < text.size() && IsWordByte(text[end]))
            ++end;
        words.push_back(Upper(std::string(text.substr(i, end - i))));
        i = end;
    }
    for (const char *symbol : { "$", "%", "/" })
        if (text.find(symbol) != std::string_view::npos)
            words.emplace_back(symbol);
    return words;
}

TSearchIndex BuildSearchIndex(const TAlertConfigRecord &record)
{
    TSearchIndex index;
    for (size_t i = 0; i < record.AlertTypes.size(); ++i) {
        const TAlertTypeEntry &type = record.AlertTypes[i];
        TSearchRow row;
        row.Index = static_cast<int>(i);
        row.Text = RowText(type.Description, type.QualityName, type.Keywords);
        index.Rows.push_back(std::move(row));
    }
    const auto &filters = record.Filters;
    for (size_t i = 0; i < filters.size(); ++i) {
        // A "Max" filter with an earlier "Min" partner is shown in the partner's row.
        bool partOfPair = false;
        for (size_t k = i; k-- > 0 && !partOfPair;)
            partOfPair = IsPairOf(filters[k], filters[i]);
        if (partOfPair)
            continue;
        TSearchRow row;
        row.IsFilter = true;
        row.Index = static_cast<int>(i);
        row.Text = RowText(filters[i].Description, filters[i].Units, filters[i].Keywords);
        for (size_t k = i + 1; k < filters.size(); ++k)
            if (IsPairOf(filters[i], filters[k])) {
                row.Partner = static_cast<int>(k);
                row.Text = row.Text.substr(4);
                break;
            }
        index.Rows.push_back(std::move(row));
    }
    for (auto &row : index.Rows) {
        row.Words = SearchWords(row.Text);
        for (const auto &word : row.Words)
            if (word[0] == '.') {
                std::string label = CategoryLabel(word);
                if (!label.empty())
                    index.Categories.push_back(std::move(label));
            }
    }
    std::sort(index.Categories.begin(), index.Categories.end());
    index.Categories.erase(
        std::unique(index.Categories.begin(), index.Categories.end()), index.Categories.end());
    return index;
}

bool RowMatches(const TSearchRow &row, const std::vector<std::string> &searchWords)
{
    return std::all_of(searchWords.begin(), searchWords.end(), [&](const std::string &wanted) {
        return std::any_of(row.Words.begin(), row.Words.end(),
            [&](const std::string &word) { return StartsWith(word, wanted); });
    });
}

std::string AddCategoryToSearch(const std::string &searchText, const std::string &category)
{
    std::string word = "." + category + ".";
    std::replace(word.begin(), word.end(), ' ', '.');
    return searchText.empty() ? word : searchText + " " + word;
}

} // namespace kestrova
