#pragma once
// A small writer for the XML reply bodies. Attribute values and text are escaped, so any byte
// string (symbol names, window names, error texts) is safe to put in.

#include <string>
#include <string_view>
#include <vector>

namespace kestrova::alertd {

class TXmlWriter
{
public:
    // Opens an element; attributes may follow until the next Open, Text or Close.
    TXmlWriter &Open(std::string_view tag);
    TXmlWriter &Attr(std::string_view name, std::string_view value);
    TXmlWriter &Attr(std::string_view name, long long value);
    TXmlWriter &Text(std::string_view text);
    // Appends ready-made markup (an element written by another TXmlWriter).
    TXmlWriter &Raw(std::string_view markup);
    TXmlWriter &Close();
    // Closes every open element and returns the document.
    std::string Finish();

private:
    void EndStartTag();
    std::string FOut;
    std::vector<std::string> FOpen;
    bool FInStartTag = false;
};

// Escapes & < > " '; control bytes other than tab, LF and CR become blanks.
std::string XmlEscape(std::string_view text);

// A document with only the top element.
std::string EmptyReply();
// The answer to a request the server did not carry out: STATUS with the reason in "KV-ErrorMsg"
// (the client keeps what it sent and tries again later).
std::string RefusalReply(std::string_view reason);

} // namespace kestrova::alertd
