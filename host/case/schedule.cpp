#include "case/schedule.h"

namespace host {

std::vector<const Event*> EventsAt(const Case& c, int32_t step) {
    std::vector<const Event*> events;
    for (const Event& event : c.events) {
        if (event.step == step) {
            events.push_back(&event);
        }
    }
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
