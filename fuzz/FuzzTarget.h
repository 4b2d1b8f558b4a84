#pragma once
// What each fuzz target provides: libFuzzer's entry point and a small seed corpus, so that the
// same target runs under libFuzzer or under the standalone driver. Also what the targets share.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

std::vector<std::string> FuzzSeeds();

// The input as text.
inline std::string_view FuzzText(const uint8_t *data, size_t size)
{
    return { reinterpret_cast<const char *>(data), size };
}

// A property every input must keep: a broken one aborts, so that libFuzzer or the standalone
// driver reports the input.
inline void FuzzCheck(bool condition)
{
    if (!condition)
        std::abort();
}
