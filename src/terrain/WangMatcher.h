#pragma once

#include "CellRng.h"
#include "WangSet.h"

#include <array>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

// Finds the parts of a terrain set that fit a cell: given the colours required at the cell's
// places (0 where anything goes), the parts whose wang ids have those colours there.
//
// Where several fit, one is chosen by probability: a part's weight is its own probability
// times the probability of each colour it shows at the set's places, so that a rarer terrain
// appears less often where the requirement leaves it open. Without random placement the
// heaviest part is taken (the lowest part number among equals), so that painting twice gives
// the same map.
class TWangMatcher
{
public:
    struct TCandidate
    {
        uint8_t Part;
        double Weight;
    };

    TWangMatcher(const TWangSet& set, const std::array<double, 256>& partProbability);

    // The places of a wang id the set uses (bit i for place i).
    uint8_t PlaceMask() const { return FMask; }
    int ColorCount() const { return FColors; }
    bool InSet(uint8_t part) const { return FInSet[part]; }
    // The part's colours at the set's places (0 elsewhere).
    const TWangId& IdOf(uint8_t part) const { return FIds[part]; }

    // The parts that fit, heaviest first; empty when none does.
    std::span<const TCandidate> Candidates(const TWangId& required) const;
    // The same list's number, or -1: for callers that keep their own table of requirements.
    int ListOf(const TWangId& required) const;
    std::span<const TCandidate> List(int list) const;
    // A part of the list: the first, or with `rng` one drawn by weight.
    uint8_t Pick(int list, TCellRng* rng) const { return List(list)[PickIndex(list, rng)].Part; }
    // Its place in the list.
    int PickIndex(int list, TCellRng* rng) const;
    // The part that fits best when none fits: the fewest places that differ, those in
    // `strong` counting twice; then the heaviest.
    uint8_t Nearest(const TWangId& required, uint8_t strong = 0) const;
    bool Empty() const { return FAll.empty(); }

    // A wang id as one number, the colours of the set's places only.
    uint64_t Key(const TWangId& id) const;

private:
    struct TList
    {
        uint32_t First;
        uint32_t Count;
        double Total;
    };

    uint8_t FMask = 0;
    int FColors = 0;
    std::array<bool, 256> FInSet{};
    std::array<TWangId, 256> FIds{};
    std::vector<TCandidate> FAll; // every part of the set, heaviest first
    std::vector<TCandidate> FCandidates;
    std::vector<TList> FLists;
    std::unordered_map<uint64_t, uint32_t> FListOf;
};
