#pragma once

#include <cstdint>
#include <random>

namespace common {

// Uniform numbers from 0 (included) to 1 (excluded), one per call. The program
// seeds from the time of day; tests script the sequence.
class RandomSource
{
public:
    virtual ~RandomSource() = default;
    [[nodiscard]] virtual double next() = 0;
    // Reseeds from the time of day; a scripted source ignores it.
    virtual void reseed() = 0;
};

class SystemRandom final : public RandomSource
{
public:
    SystemRandom();
    double next() override;
    void reseed() override;

private:
    std::mt19937_64 m_engine;
    std::uniform_real_distribution<double> m_uniform{0.0, 1.0};
};

// The process's random source.
RandomSource &random();
void setRandom(RandomSource *source);

} // namespace common
