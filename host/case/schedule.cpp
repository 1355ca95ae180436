#include "case/schedule.h"

#include <algorithm>

namespace host {

namespace {

struct StepOrder {
    bool operator()(const Event& event, int32_t step) const { return event.step < step; }
    bool operator()(int32_t step, const Event& event) const { return step < event.step; }
};

}  // namespace

std::vector<const Event*> EventsAt(const Case& c, int32_t step) {
    // The case keeps its events ordered by step: a step's are found by
    // bisection, not by a pass over them all.
    const auto range = std::equal_range(c.events.begin(), c.events.end(), step, StepOrder{});
    std::vector<const Event*> events;
    for (auto event = range.first; event != range.second; ++event) events.push_back(&*event);
    return events;
}

std::vector<const Event*> EventsAfter(const Case& c, int32_t steps) {
    std::vector<const Event*> events;
    for (const Event& event : c.events) {
        if (event.step > steps) {
            events.push_back(&event);
        }
    }
    return events;
}

double NextValue(const Response& response, double current, double op) {
    if (!response.follows) {
        return response.constant;
    }
    return current + (response.gain * op - current) / response.timeConstant;
}

}  // namespace host
