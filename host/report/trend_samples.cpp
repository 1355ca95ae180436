#include "report/trend_samples.h"

#include <algorithm>

namespace host {

TrendSamples::TrendSamples(size_t capacity) : capacity_(std::max<size_t>(capacity, 2)) {}

void TrendSamples::Add(const StepRecord& record) {
    const int64_t position = added_++;
    if (position % stride_ != 0) {
        last_ = record;
        return;
    }
    last_.reset();
    kept_.push_back(record);
    if (kept_.size() <= capacity_) {
        return;
    }
    // Full: keep every other record, so the kept ones stay evenly spaced at
    // twice the stride. The newest may fall out; it stays as the latest.
    const StepRecord newest = kept_.back();
    size_t out = 0;
    for (size_t in = 0; in < kept_.size(); in += 2) {
        kept_[out++] = std::move(kept_[in]);
    }
    kept_.resize(out);
    stride_ *= 2;
    if ((position / (stride_ / 2)) % 2 != 0) {
        last_ = newest;
    }
}

std::vector<StepRecord> TrendSamples::Thinned() const {
    std::vector<StepRecord> records = kept_;
    if (last_) {
        records.push_back(*last_);
    }
    return records;
}

}  // namespace host
