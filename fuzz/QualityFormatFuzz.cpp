// Fuzz target: a quality pattern as the server may send it. Anything but literal text, "%%" and
// one f/e/g/n conversion may only raise EConvertError; an accepted pattern formats any number
// into its literal text, bounded in length.

#include "FuzzTarget.h"
#include "grid/AlertGridsQuality.h"
#include "support/Exceptions.h"

#include <cmath>
#include <cstring>
#include <limits>

using namespace kestrova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view pattern = FuzzText(data, size);
    TQualityFormat format;
    try {
        format = ParseQualityFormat(pattern);
    } catch (const EConvertError &) {
        return 0;
    }
    FuzzCheck(std::string_view("fegn").find(format.Conversion) != std::string_view::npos);
    FuzzCheck(format.Width <= TQualityFormat::MaxWidth);
    FuzzCheck(format.Precision <= TQualityFormat::MaxPrecision);
    FuzzCheck(format.Prefix.size() + format.Suffix.size() <= size);
    double fromInput = 0;
    std::memcpy(&fromInput, data, std::min(size, sizeof fromInput));
    for (double value : { 0.0, -1234.5678, 6.14, 1e300, -1e-300, fromInput,
             std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
             std::numeric_limits<double>::max() }) {
        const std::string text = format.Format(value);
        FuzzCheck(text.compare(0, format.Prefix.size(), format.Prefix) == 0);
        FuzzCheck(text.size() >= format.Suffix.size()
            && text.compare(text.size() - format.Suffix.size(), std::string::npos, format.Suffix)
                == 0);
        // The number itself: at most 309 digits with their group commas, a point, the decimals
        // and a sign, or the padding.
        FuzzCheck(text.size() - format.Prefix.size() - format.Suffix.size() <= 450);
    }
    return 0;
}

std::vector<std::string> FuzzSeeds()
{
    return { "%.1f%%", "%.0f days", "%.2f%%", "%.0fK", "%.0f c", "%-8.3e|", "%12n", "%g", "%s",
        "100%% %f" };
}
