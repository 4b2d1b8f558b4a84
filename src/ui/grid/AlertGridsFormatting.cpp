// Loading the display schemes.

#include "grid/AlertGridsFormatting.h"

#include <charconv>

namespace kestrova {

bool ParseSchemeColor(std::string_view text, uint32_t &color)
{
    if (text.size() != 7 || text[0] != '#')
        return false;
    uint32_t rgb = 0;
    for (char c : text.substr(1)) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        rgb = rgb << 4 | static_cast<uint32_t>(digit);
    }
    color = (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
    return true;
}

std::string ImageFileName(std::string_view path)
{
    const size_t cut = path.find_last_of("/:\\");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

bool TFormattingTable::Load(const PXmlNode &formatting)
{
    if (!formatting || formatting == FLast)
        return false;
    FLast = formatting;
    FSchemes.clear();
    FInfo.clear();
    for (int s = 0; s < formatting->ChildCount(); ++s) {
        const IXmlNode &scheme = *formatting->ChildNode(s);
        const std::string name(scheme.Name());
        FSchemes.push_back({ name, std::string(scheme.Attribute("SHORT_NAME")) });
        for (int t = 0; t < scheme.ChildCount(); ++t) {
            const IXmlNode &type = *scheme.ChildNode(t);
            TAlertDisplayInfo info;
            if (ParseSchemeColor(type.Attribute("FG_COLOR"), info.Foreground))
                info.Flags |= dfForeground;
            if (ParseSchemeColor(type.Attribute("BG_COLOR"), info.Background))
                info.Flags |= dfBackground;
            info.BackgroundImage = ImageFileName(type.Attribute("BG_IMAGE"));
            if (!info.BackgroundImage.empty())
                info.Flags |= dfBackgroundImage;
            if (type.Attribute("BOLD") == "1")
                info.Flags |= dfBold;
            FInfo.insert_or_assign(name + ":" + std::string(type.Name()), std::move(info));
        }
    }
    ++FGeneration;
    return true;
}

const TAlertDisplayInfo *TFormattingTable::Find(
    const std::string &scheme, const std::string &alertType) const
{
    const auto found = FInfo.find(scheme + ":" + alertType);
    return found == FInfo.end() ? nullptr : &found->second;
}

TFormattingTable &FormattingTable()
{
    static TFormattingTable table;
    return table;
}

} // namespace kestrova
