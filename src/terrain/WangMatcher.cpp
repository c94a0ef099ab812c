#include "WangMatcher.h"

#include <algorithm>
#include <bit>
#include <map>

TWangMatcher::TWangMatcher(const TWangSet& set, const std::array<double, 256>& partProbability)
    : FMask(set.PlaceMask()), FColors(int(set.Colors.size()))
{
    for (const TWangTile& t : set.Tiles) {
        if (t.TileId < 0 || t.TileId > 255)
            continue;
        const uint8_t part = uint8_t(t.TileId);
        TWangId id{};
        double weight = partProbability[part];
        for (int i = 0; i < 8; ++i) {
            if (!(FMask >> i & 1) || t.WangId[i] == 0 || t.WangId[i] > FColors)
                continue;
            id[i] = t.WangId[i];
            weight *= set.Colors[id[i] - 1].Probability;
        }
        FInSet[part] = true;
        FIds[part] = id;
        FAll.push_back({part, weight});
    }
    std::stable_sort(FAll.begin(), FAll.end(), [](const TCandidate& a, const TCandidate& b) {
        return a.Weight > b.Weight || (a.Weight == b.Weight && a.Part < b.Part);
    });

    // Every requirement a part fits: its colours at any subset of the places it has colours
    // at, the others left open. At most 256 parts times 256 subsets.
    std::map<uint64_t, std::vector<TCandidate>> lists;
    for (const TCandidate& c : FAll) {
        const TWangId& id = FIds[c.Part];
        uint8_t coloured = 0;
        for (int i = 0; i < 8; ++i)
            coloured |= uint8_t((id[i] != 0) << i);
        // All subsets of `coloured`, the full one included and the empty one last.
        uint8_t subset = coloured;
        while (true) {
            TWangId r{};
            for (int i = 0; i < 8; ++i)
                r[i] = (subset >> i & 1) ? id[i] : 0;
            lists[Key(r)].push_back(c);
            if (subset == 0)
                break;
            subset = uint8_t((subset - 1) & coloured);
        }
    }
    for (auto& [key, list] : lists) {
        TList l{uint32_t(FCandidates.size()), uint32_t(list.size()), 0.0};
        for (const TCandidate& c : list)
            l.Total += c.Weight;
        FCandidates.insert(FCandidates.end(), list.begin(), list.end());
        FListOf.emplace(key, uint32_t(FLists.size()));
        FLists.push_back(l);
    }
}

uint64_t TWangMatcher::Key(const TWangId& id) const
{
    uint64_t key = 0;
    for (int i = 0; i < 8; ++i)
        key |= uint64_t((FMask >> i & 1) ? id[i] : 0) << (8 * i);
    return key;
}

int TWangMatcher::ListOf(const TWangId& required) const
{
    const auto it = FListOf.find(Key(required));
    return it == FListOf.end() ? -1 : int(it->second);
}

std::span<const TWangMatcher::TCandidate> TWangMatcher::List(int list) const
{
    if (list < 0)
        return {};
    const TList& l = FLists[size_t(list)];
    return {FCandidates.data() + l.First, l.Count};
}

std::span<const TWangMatcher::TCandidate> TWangMatcher::Candidates(const TWangId& required) const
{
    return List(ListOf(required));
}

int TWangMatcher::PickIndex(int list, TCellRng* rng) const
{
    const TList& l = FLists[size_t(list)];
    const TCandidate* c = FCandidates.data() + l.First;
    if (!rng || l.Count == 1 || !(l.Total > 0))
        return 0;
    double r = double(rng->Next() >> 11) * 0x1.0p-53 * l.Total;
    for (uint32_t i = 0; i < l.Count; ++i) {
        r -= c[i].Weight;
        if (r < 0)
            return int(i);
    }
    // Rounding left a sliver past the last weight.
    for (uint32_t i = l.Count; i-- > 0;) {
        if (c[i].Weight > 0)
            return int(i);
    }
    return 0;
}

uint8_t TWangMatcher::Nearest(const TWangId& required, uint8_t strong) const
{
    int best = -1;
    int bestScore = 0;
    for (const TCandidate& c : FAll) {
        const TWangId& id = FIds[c.Part];
        int score = 0;
        for (int i = 0; i < 8; ++i) {
            if (required[i] != 0 && (FMask >> i & 1) && id[i] != required[i])
                score += (strong >> i & 1) ? 2 : 1;
        }
        if (best < 0 || score < bestScore) {
            best = c.Part;
            bestScore = score;
        }
    }
    return uint8_t(std::max(best, 0));
}
