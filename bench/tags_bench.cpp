// dcs-host tags against the driver's own catalogue load of the same string:
// the listing runs that very load (with an observer) and then groups the
// entries and writes every line with its notes, so its cost is the load's
// plus what it adds. Strings of 6 x 10,000 and 6 x 30,000 tags, on the
// stand-in's plain heap; the closing report gives tags / load (goal <= 2).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <ostream>
#include <streambuf>
#include <string>

#include "bench_support.h"
#include "catalogue.h"
#include "iface_control.h"
#include "init_string_gen.h"
#include "mrx3p_control.h"
#include "report/tags_report.h"
#include "user32_control.h"

namespace {

const int32_t kSizes[] = {10000, 30000};

const bench::InitString& TextFor(int32_t perKind) {
    static std::map<int32_t, bench::InitString> texts;
    auto found = texts.find(perKind);
    if (found == texts.end()) found = texts.emplace(perKind, bench::MakeInitString(perKind)).first;
    return found->second;
}

// Counts what is written and keeps none of it, as a terminal would.
class CountingBuffer : public std::streambuf {
public:
    int64_t bytes = 0;

protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        bytes += n;
        return n;
    }
    int_type overflow(int_type c) override {
        ++bytes;
        return c;
    }
};

std::string LoadName(int32_t perKind) { return "tags/driver_load/6x" + std::to_string(perKind); }
std::string ListName(int32_t perKind, bool csv) {
    return std::string(csv ? "tags/listing_csv/6x" : "tags/listing_text/6x") + std::to_string(perKind);
}

void DriverLoad(benchmark::State& state, int32_t perKind) {
    const bench::HeapMode heap(true);
    MrxStandin_Reset();
    MrxStandin_SetInitString(TextFor(perKind).text.c_str());
    for (auto _ : state) {
        benchmark::DoNotOptimize(LoadTagCatalogue(nullptr));
        FreeTagCatalogue();
    }
}

void Listing(benchmark::State& state, int32_t perKind, bool csv) {
    const bench::HeapMode heap(true);
    MrxStandin_Reset();
    MrxStandin_SetInitString(TextFor(perKind).text.c_str());
    CountingBuffer buffer;
    std::ostream out(&buffer);
    for (auto _ : state) {
        const host::TagInventory inventory = host::TakeInventory("bench.mrx");
        host::TagListing listing;
        listing.inventory = &inventory;
        listing.picked.resize(inventory.entries.size());
        for (uint32_t i = 0; i < listing.picked.size(); ++i) listing.picked[i] = i;
        if (csv) {
            host::WriteTagsCsv(out, listing);
        } else {
            host::WriteTagsText(out, listing);
        }
    }
    if (buffer.bytes == 0) state.SkipWithError("nothing was listed");
}

bool Summary(const bench::RatioReporter& reporter) {
    std::printf("dcs-host tags against the driver's catalogue load (median CPU time per pass)\n");
    for (int32_t perKind : kSizes) {
        const double load = reporter.MedianNs(LoadName(perKind));
        const double text = reporter.MedianNs(ListName(perKind, false));
        const double csv = reporter.MedianNs(ListName(perKind, true));
        std::printf("  6 x %5d: load %12s  listing %12s (ratio %.2f)  CSV %12s (ratio %.2f)  goal <= 2\n",
                    static_cast<int>(perKind), bench::FormatNs(load).c_str(), bench::FormatNs(text).c_str(),
                    text / load, bench::FormatNs(csv).c_str(), csv / load);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    MrxStandin_SetLogging(0);
    for (int32_t perKind : kSizes) {
        benchmark::RegisterBenchmark(LoadName(perKind).c_str(), DriverLoad, perKind)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(ListName(perKind, false).c_str(), Listing, perKind, false)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(ListName(perKind, true).c_str(), Listing, perKind, true)
            ->Unit(benchmark::kMillisecond);
    }
    return bench::RunBenchmarks(argc, argv, Summary);
}
