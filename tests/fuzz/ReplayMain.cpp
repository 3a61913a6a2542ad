// A fuzz target's checks without libFuzzer, in every test build: each file
// of the seed folder, then VARIANTS inputs made from them by a fixed
// pseudo-random mutation (bytes changed, inserted or dropped, a slice of
// another seed spliced in), the same ones on every run. A broken check traps
// as it does under the fuzzer; the sanitizers of the build watch the rest.
//
//   fuzz_replay_TARGET SEED_FOLDER VARIANTS

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes mutated(const std::vector<Bytes>& seeds, std::mt19937& random)
{
    Bytes input = seeds[random() % seeds.size()];
    for (unsigned edits = 1 + random() % 8; edits > 0; --edits) {
        const std::size_t at = input.empty() ? 0 : random() % input.size();
        switch (random() % 4) {
        case 0:
            if (!input.empty()) {
                input[at] = static_cast<std::uint8_t>(random());
            }
            break;
        case 1:
            input.insert(input.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(random()));
            break;
        case 2:
            if (!input.empty()) {
                input.erase(input.begin() + static_cast<std::ptrdiff_t>(at));
            }
            break;
        default: {
            const Bytes& other = seeds[random() % seeds.size()];
            const std::size_t from = other.empty() ? 0 : random() % other.size();
            const std::size_t length = std::min<std::size_t>(other.size() - from, 1 + random() % 16);
            input.insert(input.begin() + static_cast<std::ptrdiff_t>(at), other.begin() + static_cast<std::ptrdiff_t>(from),
                         other.begin() + static_cast<std::ptrdiff_t>(from + length));
        }
        }
    }
    return input;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: " << argv[0] << " SEED_FOLDER VARIANTS\n";
        return 2;
    }
    std::vector<Bytes> seeds;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[1])) {
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(seeds.back().data(), seeds.back().size());
        }
    }
    if (seeds.empty()) {
        std::cerr << "no seeds in " << argv[1] << '\n';
        return 1;
    }
    std::mt19937 random(20261210);
    const long variants = std::stol(argv[2]);
    for (long i = 0; i < variants; ++i) {
        const Bytes input = mutated(seeds, random);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::cout << seeds.size() << " seeds and " << variants << " variants passed\n";
    return 0;
}
