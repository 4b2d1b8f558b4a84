// Runs a fuzz target without libFuzzer: every seed once, then a bounded number of random
// mutations of them (deterministic for a given --seed). A crash or a sanitizer report fails
// the run; an escaping exception does too. FILEs are more seeds; a dictionary (libFuzzer's
// format) adds the fragments mutations insert.
//   kv_fuzz_<name> [--runs N] [--seed S] [--dict FILE] [--write-seeds DIR] [FILE...]

#include "FuzzTarget.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

class TRandom
{
public:
    explicit TRandom(uint64_t seed)
        : FState(seed * 2654435761u + 1)
    {
    }
    uint64_t Next()
    {
        FState ^= FState << 13;
        FState ^= FState >> 7;
        FState ^= FState << 17;
        return FState;
    }
    size_t Below(size_t n) { return n ? Next() % n : 0; }

private:
    uint64_t FState;
};

// Fragments that steer mutations towards the interesting corners of the formats.
std::vector<std::string> Tokens
    = { "<", ">", "/>", "</", "&", "&#x", ";", "\"", "'", "=", "<!--", "-->", "<![CDATA[", "]]>",
          "<?", "?>", "&amp;", "&#1114111;", " ", "\xff\xff\xff\x7f", std::string(4, '\0') };

// Reads the entries of a libFuzzer dictionary: lines `name="value"` or `"value"`, with \\,
// \" and \xHH escapes; "#" starts a comment line.
bool ReadDictionary(const char *path, std::vector<std::string> &entries)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        const size_t open = line.find('"');
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#' || open == std::string::npos)
            continue;
        std::string value;
        for (size_t i = open + 1; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] != '\\' || i + 1 >= line.size()) {
                value += line[i];
            } else if (line[i + 1] == 'x' && i + 3 < line.size()) {
                value += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else {
                value += line[++i];
            }
        }
        entries.push_back(value);
    }
    return true;
}

std::string Mutate(const std::vector<std::string> &pool, TRandom &random)
{
    std::string s = pool[random.Below(pool.size())];
    const int steps = 1 + static_cast<int>(random.Below(4));
    for (int i = 0; i < steps; ++i) {
        const size_t at = random.Below(s.size() + 1);
        switch (random.Below(7)) {
        case 0:
            if (!s.empty())
                s[random.Below(s.size())] ^= static_cast<char>(1 << random.Below(8));
            break;
        case 1:
            if (!s.empty())
                s[random.Below(s.size())] = static_cast<char>(random.Next());
            break;
        case 2:
            s.insert(at, Tokens[random.Below(Tokens.size())]);
            break;
        case 3:
            s.erase(at, random.Below(16));
            break;
        case 4:
            if (at < s.size())
                s.insert(at, s.substr(at, random.Below(32)));
            break;
        case 5:
            s.resize(at);
            break;
        default: {
            const std::string &other = pool[random.Below(pool.size())];
            const size_t from = random.Below(other.size() + 1);
            s.insert(at, other.substr(from, random.Below(64)));
        }
        }
    }
    return s;
}

bool ReadFile(const char *path, std::string &out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void Run(const std::string &input)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.data()), input.size());
}

} // namespace

int main(int argc, char **argv)
{
    long runs = 10000;
    uint64_t seed = 1;
    const char *writeSeeds = nullptr;
    std::vector<std::string> pool = FuzzSeeds();
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) {
            runs = std::atol(argv[++i]);
        } else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (!std::strcmp(argv[i], "--dict") && i + 1 < argc) {
            if (!ReadDictionary(argv[++i], Tokens)) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--write-seeds") && i + 1 < argc) {
            writeSeeds = argv[++i];
        } else {
            std::string file;
            if (!ReadFile(argv[i], file)) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 2;
            }
            pool.push_back(std::move(file));
        }
    }
    if (writeSeeds) { // a starting corpus for libFuzzer
        for (size_t i = 0; i < pool.size(); ++i) {
            const std::string path = std::string(writeSeeds) + "/seed" + std::to_string(i);
            std::ofstream(path, std::ios::binary) << pool[i];
        }
        return 0;
    }
    const size_t seeds = pool.size();
    try {
        for (const std::string &input : pool)
            Run(input);
        TRandom random(seed);
        for (long i = 0; i < runs; ++i) {
            std::string input = Mutate(pool, random);
            Run(input);
            if (random.Below(16) == 0 && pool.size() < 256)
                pool.push_back(std::move(input)); // mutations of mutations reach further
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "unexpected exception: %s\n", e.what());
        return 1;
    }
    std::printf("%zu seeds, %ld mutations: no failure\n", seeds, runs);
    return 0;
}
