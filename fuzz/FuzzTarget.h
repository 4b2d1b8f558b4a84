#pragma once
// What each fuzz target provides: libFuzzer's entry point and a small seed corpus, so that the
// same target runs under libFuzzer or under the standalone driver.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

std::vector<std::string> FuzzSeeds();
