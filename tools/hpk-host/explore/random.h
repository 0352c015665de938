// The explorer's random numbers: SplitMix64, chosen because its output is the
// same on every compiler and platform (the standard distributions are not), so
// a seed names the same sessions on Linux and under Wine.
#pragma once
#include <cstdint>
#include <vector>

namespace hpk::host {

class ExploreRandom {
public:
    explicit ExploreRandom(std::uint64_t seed) : state_(seed) {}
    // The generator of session `index` of the exploration seeded with `seed`:
    // every session can be made again on its own, in any process.
    static ExploreRandom ForSession(std::uint64_t seed, std::uint64_t index) {
        ExploreRandom mix(seed ^ (index * 0x9E3779B97F4A7C15ull));
        return ExploreRandom(mix.Next());
    }

    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. bound-1 (bound > 0); the slight bias of the modulo does not matter here.
    std::uint32_t Below(std::uint32_t bound) { return static_cast<std::uint32_t>(Next() % bound); }
    // True `percent` times in a hundred.
    bool Chance(std::uint32_t percent) { return Below(100) < percent; }
    // An index drawn in proportion to `weights` (at least one non-zero).
    std::size_t Weighted(const std::vector<std::uint32_t>& weights) {
        std::uint64_t total = 0;
        for (std::uint32_t w : weights) total += w;
        if (total == 0) return 0;
        std::uint64_t pick = Next() % total;
        for (std::size_t i = 0; i < weights.size(); ++i) {
            if (pick < weights[i]) return i;
            pick -= weights[i];
        }
        return weights.size() - 1;
    }

private:
    std::uint64_t state_;
};

}  // namespace hpk::host
