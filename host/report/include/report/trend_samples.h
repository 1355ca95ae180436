// The steps a trend chart is drawn from. A long run cannot keep every step
// in memory, and a chart a few hundred pixels wide cannot show them anyway:
// the store keeps an evenly thinned set, every Stride()-th step, of at most
// its capacity, plus the latest step so that the chart ends where the run
// ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "report/report.h"

namespace host {

constexpr size_t kDefaultTrendPoints = 2000;

class TrendSamples {
public:
    // `capacity` is at least 2.
    explicit TrendSamples(size_t capacity = kDefaultTrendPoints);

    // Takes the record of the next step (records come in step order).
    void Add(const StepRecord& record);

    // 1 while every step is kept; otherwise every how many steps one is.
    int64_t Stride() const { return stride_; }
    bool IsThinned() const { return stride_ > 1; }

    // The kept records in step order, the latest one included.
    std::vector<StepRecord> Thinned() const;

private:
    size_t capacity_;
    int64_t stride_ = 1;
    int64_t added_ = 0;
    std::vector<StepRecord> kept_;    // the records whose position is a multiple of stride_
    std::optional<StepRecord> last_;  // the latest record, when it is not among them
};

}  // namespace host
