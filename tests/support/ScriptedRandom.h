#pragma once

#include "common/Random.h"

#include <QQueue>
#include <stdexcept>

namespace testsupport {

// A random source that hands out a scripted sequence, then a fixed value.
class ScriptedRandom final : public common::RandomSource
{
public:
    explicit ScriptedRandom(double whenEmpty = 0.0) : m_whenEmpty(whenEmpty) { common::setRandom(this); }
    ~ScriptedRandom() override { common::setRandom(nullptr); }

    void push(std::initializer_list<double> values)
    {
        for (double v : values)
            m_values.enqueue(v);
    }
    double next() override
    {
        ++m_draws;
        return m_values.isEmpty() ? m_whenEmpty : m_values.dequeue();
    }
    void reseed() override { ++m_reseeds; }

    [[nodiscard]] int draws() const { return m_draws; }
    [[nodiscard]] int reseeds() const { return m_reseeds; }
    [[nodiscard]] qsizetype pending() const { return m_values.size(); }
    void setWhenEmpty(double v) { m_whenEmpty = v; }

private:
    QQueue<double> m_values;
    double m_whenEmpty;
    int m_draws = 0;
    int m_reseeds = 0;
};

} // namespace testsupport
