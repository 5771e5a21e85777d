// FileFind ordering cost: the O(n log n) order on a large generated listing,
// and the front-walking sorted insertion it replaces on smaller ones.
#include "tools/FileFindOrder.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using tavro::FoundEntry;

// A tree-like listing: 50 folders, names with shared prefixes, sizes with
// many repeats (small files and a few round sizes), in discovery order.
std::vector<FoundEntry> MakeListing(size_t count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<FoundEntry> list(count);
    for (size_t i = 0; i < count; ++i) {
        list[i].path = "C:\\Music\\Set" + std::to_string(rng() % 50) + "\\take_" + std::to_string(rng() % 5000) +
                       (rng() % 2 ? ".mid" : ".MID");
        list[i].size = (rng() % 4 == 0) ? 4096 * (rng() % 8) : rng() % 200000;
    }
    return list;
}

std::vector<FoundEntry> InsertOneByOne(const std::vector<FoundEntry>& found, long nSort)
{
    const tavro::LeadByteTable& lead = tavro::SingleByteCodePage();
    std::vector<FoundEntry> list;
    for (const FoundEntry& e : found) {
        size_t at = 0;
        for (; at < list.size(); ++at) {
            const FoundEntry& x = list[at];
            const bool stop = nSort == 2   ? x.size >= e.size
                              : nSort == 3 ? x.size <= e.size
                              : nSort == 4 ? tavro::CompareMultiByte(x.path, e.path, lead) >= 0
                                           : tavro::CompareMultiByte(x.path, e.path, lead) <= 0;
            if (stop)
                break;
        }
        list.insert(list.begin() + static_cast<long>(at), e);
    }
    return list;
}

template <typename F>
double Seconds(F&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double SortSeconds(const std::vector<FoundEntry>& found, long mode)
{
    std::vector<FoundEntry> copy = found;
    return Seconds([&] { tavro::OrderFoundEntries(copy, mode, tavro::SingleByteCodePage()); });
}

} // namespace

int main()
{
    const long modes[] = {2, 3, 4, 5};
    const auto big = MakeListing(100000, 1);
    const auto n10 = MakeListing(10000, 2);
    const auto n20 = MakeListing(20000, 3);

    std::printf("mode  sort100k_ms  sort10k_ms  insert10k_ms  insert20k_ms  insert/sort@10k  insert20k/10k\n");
    for (long mode : modes) {
        const double sortBig = SortSeconds(big, mode);
        const double sort10 = SortSeconds(n10, mode);
        const double ins10 = Seconds([&] { InsertOneByOne(n10, mode); });
        const double ins20 = Seconds([&] { InsertOneByOne(n20, mode); });
        std::printf("%4ld  %11.2f  %10.2f  %12.1f  %12.1f  %15.0f  %13.2f\n", mode, sortBig * 1e3, sort10 * 1e3,
                    ins10 * 1e3, ins20 * 1e3, ins10 / sort10, ins20 / ins10);
    }
    return 0;
}
