#pragma once
// The market's only source of chance: splitmix64. The standard library's
// distributions give different numbers on different library versions, so the
// sample data would drift; these functions give the same market for a seed
// everywhere.
#include <cstdint>

namespace fw::sample {

// splitmix64 finaliser: a well-mixed 64-bit value of x.
inline uint64_t mix64(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A value that depends on both arguments (used for "the move of fund f on day t").
inline uint64_t hashOf(uint64_t a, uint64_t b)
{
    return mix64(a ^ mix64(b + 0x632BE59BD9B4E019ull));
}

// Roughly standard-normal value from one hash: the sum of four 16-bit
// uniforms (Irwin-Hall), scaled to variance 1.
inline double normalOf(uint64_t h)
{
    const double sum = double(h & 0xFFFF) + double((h >> 16) & 0xFFFF) + double((h >> 32) & 0xFFFF)
        + double(h >> 48);
    return (sum / 65536.0 - 2.0) * 1.7320508075688772;
}

class Prng {
public:
    explicit Prng(uint64_t seed) : m_state(seed) {}

    uint64_t next()
    {
        m_state += 0x9E3779B97F4A7C15ull;
        uint64_t z = m_state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // [0, 1)
    double uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    // [0, n); 0 when n <= 0
    int below(int n) { return n <= 0 ? 0 : int((next() >> 16) % uint64_t(n)); }
    // [lo, hi]
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool chance(double p) { return uniform() < p; }
    double normal() { return normalOf(next()); }

private:
    uint64_t m_state;
};

} // namespace fw::sample
