#include "common/Random.h"

#include <chrono>

namespace common {

SystemRandom::SystemRandom()
{
    reseed();
}

double SystemRandom::next()
{
    double v = m_uniform(m_engine);
    return v >= 1.0 ? 0.0 : v;
}

void SystemRandom::reseed()
{
    // Seeded once from the clock and entropy; reseeding at every pass from the
    // time of day would repeat sequences within the same clock tick, so a
    // reseed only mixes in the current time.
    static std::random_device device;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::seed_seq seq{std::uint64_t(now), std::uint64_t(device()), std::uint64_t(m_engine())};
    m_engine.seed(seq);
}

namespace {
RandomSource *g_random = nullptr;
}

RandomSource &random()
{
    if (!g_random) {
        static SystemRandom fallback;
        return fallback;
    }
    return *g_random;
}

void setRandom(RandomSource *source)
{
    g_random = source;
}

} // namespace common
