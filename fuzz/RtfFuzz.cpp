// Fuzz target: the RTF subset reader on arbitrary text (status texts come from the server).
// Reading never raises; what it reads is well formed, and written back as RTF it reads back the
// same.

#include "FuzzTarget.h"
#include "rtf/RichText.h"

using namespace kestrova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text = FuzzText(data, size);
    const TRichText read = ReadRtf(text);
    FuzzCheck(!read.Paragraphs.empty());
    for (const TRichTextParagraph &p : read.Paragraphs)
        for (size_t i = 0; i < p.Runs.size(); ++i) {
            FuzzCheck(!p.Runs[i].Text.empty());
            FuzzCheck(i == 0 || !(p.Runs[i].Style == p.Runs[i - 1].Style));
        }
    FuzzCheck(ReadRtf(WriteRtf(read)) == read);
    return 0;
}

std::vector<std::string> FuzzSeeds()
{
    return {
        "",
        "Quorix running.",
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}{\\colortbl ;\\red255\\green0\\blue0;}"
        "\\pard\\b Won:\\b0  62%\\par {\\i Lost:} \\cf1 38%\\cf0\\par}",
        "{\\*\\generator x;}caf\\'e9 \\u8364? \\{\\} \\\\ \\tab \\line end",
        "{{{\\ul\\fs40 deep}}}}",
    };
}
