#include "ReplyXml.h"

namespace kestrova::alertd {

std::string XmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                out += ' '; // not representable in XML 1.0, not even as a reference
            else
                out += static_cast<char>(c);
        }
    }
    return out;
}

void TXmlWriter::EndStartTag()
{
    if (FInStartTag) {
        FOut += '>';
        FInStartTag = false;
    }
}

TXmlWriter &TXmlWriter::Open(std::string_view tag)
{
    EndStartTag();
    FOut += '<';
    FOut += tag;
    FOpen.emplace_back(tag);
    FInStartTag = true;
    return *this;
}

TXmlWriter &TXmlWriter::Attr(std::string_view name, std::string_view value)
{
    if (!FInStartTag)
        return *this;
    FOut += ' ';
    FOut += name;
    FOut += "=\"";
    FOut += XmlEscape(value);
    FOut += '"';
    return *this;
}

TXmlWriter &TXmlWriter::Attr(std::string_view name, long long value)
{
    return Attr(name, std::to_string(value));
}

TXmlWriter &TXmlWriter::Text(std::string_view text)
{
    EndStartTag();
    FOut += XmlEscape(text);
    return *this;
}

TXmlWriter &TXmlWriter::Raw(std::string_view markup)
{
    EndStartTag();
    FOut += markup;
    return *this;
}

TXmlWriter &TXmlWriter::Close()
{
    if (FOpen.empty())
        return *this;
    if (FInStartTag) {
        FOut += "/>";
        FInStartTag = false;
    } else {
        FOut += "</" + FOpen.back() + ">";
    }
    FOpen.pop_back();
    return *this;
}

std::string TXmlWriter::Finish()
{
    while (!FOpen.empty())
        Close();
    return std::move(FOut);
}

std::string EmptyReply()
{
    return "<API/>";
}

std::string RefusalReply(std::string_view reason)
{
    return TXmlWriter().Open("API").Open("STATUS").Attr("KV-ErrorMsg", reason).Finish();
}

} // namespace kestrova::alertd
