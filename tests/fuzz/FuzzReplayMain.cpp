// The main of every corpus replay program: feeds each file of the folders (recursively) and
// files named on the command line to the target's LLVMFuzzerTestOneInput, the same function
// libFuzzer calls, so that a corpus is checked with any compiler on every test run. Each
// name is printed before its input runs, so a crash or a sanitizer report names the input.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Optional, as with libFuzzer: a target that needs one-time set-up defines it.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

namespace fs = std::filesystem;

// The regular files under the path, sorted so that every run replays in the same order;
// nullopt-like failure is reported through ok.
bool collectInputs(const fs::path& path, std::vector<fs::path>& inputs)
{
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) {
        inputs.push_back(path);
        return true;
    }
    if (!fs::is_directory(path, ec)) {
        std::fprintf(stderr, "replay: %s is neither a file nor a folder\n", path.c_str());
        return false;
    }
    std::vector<fs::path> found;
    for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec))
            found.push_back(it->path());
    if (ec) {
        std::fprintf(stderr, "replay: cannot list %s: %s\n", path.c_str(), ec.message().c_str());
        return false;
    }
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return true;
}

bool readWhole(const fs::path& path, std::vector<uint8_t>& data)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i)
        if (!collectInputs(argv[i], inputs))
            return 1;
    std::vector<uint8_t> data;
    for (const fs::path& input : inputs) {
        std::fprintf(stderr, "replay: %s\n", input.c_str());
        if (!readWhole(input, data)) {
            std::fprintf(stderr, "replay: cannot read %s\n", input.c_str());
            return 1;
        }
        // A copy of exactly the input's size, so that a read past its end is seen by the
        // address sanitizer as it is under libFuzzer.
        std::vector<uint8_t> exact(data.begin(), data.end());
        LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    // An empty corpus would pass without testing anything.
    return inputs.empty() ? 1 : 0;
}
