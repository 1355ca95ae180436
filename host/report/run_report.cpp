#include "report/run_report.h"

#include <cstdio>
#include <stdexcept>

#include "report/html_report.h"

namespace host {

RunReport::RunReport(const RunReportOptions& options, const Layout& layout, std::ostream& terminal)
    : options_(options), layout_(layout), terminal_(terminal), table_(layout, options.tableWidth, options.columns) {
    if (!options_.csvPath.empty()) {
        csv_ = std::make_unique<OutputFile>(options_.csvPath);
        csv_->Stream() << CsvHeader(layout_);
    }
    if (!options_.plotPath.empty()) svg_ = std::make_unique<OutputFile>(options_.plotPath);
    if (!options_.htmlPath.empty()) html_ = std::make_unique<OutputFile>(options_.htmlPath);
    if (!options_.compare.referencePath.empty()) compare_ = std::make_unique<TrendCompare>(options_.compare, layout_);
}

void RunReport::Messages(const std::vector<DriverMessage>& messages) {
    messages_.insert(messages_.end(), messages.begin(), messages.end());
}

void RunReport::Step(const StepRecord& record) {
    table_.Add(record, terminal_);
    if (csv_) {
        csvLine_.clear();
        AppendCsvRow(csvLine_, record);
        csv_->Stream() << csvLine_;
    }
    if (compare_) compare_->Step(record);
    if (record.step > 0 && !record.events.empty()) events_.push_back({record.step, record.events});
    if (record.step > 0 && !record.ok) ++failed_;
    // Only the chart and the page look back over the steps.
    if (svg_ || html_) trend_.Add(record);
    last_ = record.step;
}

int RunReport::Finish(bool configured, const Diagnosis* diagnosis) {
    int status = 0;
    auto attempt = [&](auto write) {
        try {
            write();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "dcs-host: %s\n", e.what());
            status = 2;
        }
    };
    attempt([&] { table_.Finish(terminal_); });
    if (compare_) terminal_ << compare_->Report();
    terminal_.flush();
    if (csv_ && configured) attempt([&] { csv_->Commit(); });
    if (csv_ && !configured) {
        // Nothing ran, so there is nothing to list: an earlier file of the
        // same name is worth more than an empty one.
        std::fprintf(stderr, "dcs-host: \"%s\" not written: the link did not configure, so no step ran\n",
                     csv_->Path().c_str());
    }
    const std::vector<StepRecord> records = trend_.Thinned();
    ChartInput chart;
    chart.stride = static_cast<int32_t>(trend_.Stride());
    chart.title = options_.casePath;
    chart.configured = configured;
    chart.keepConstant = options_.plotConstant;
    chart.events = events_;
    chart.columns = options_.columns;
    // A chart of a plant's thousands of lines shows none of them: the
    // changing series come first, as many as the tables show columns, and
    // the chart says how many it left out.
    chart.maxSeries = kShownColumns;
    if (svg_) {
        attempt([&] {
            WriteChart(svg_->Stream(), layout_, records, chart);
            svg_->Commit();
        });
    }
    if (html_) {
        attempt([&] {
            PageInput page;
            page.command = "run";
            page.casePath = options_.casePath;
            page.driverPath = options_.driverPath;
            page.driverVersion = options_.driverVersion;
            page.configured = configured;
            page.messages = messages_;
            page.diagnosis = diagnosis;
            page.run = PageRun{last_, failed_, layout_, records, chart};
            page.replayOf = options_.replayOf;
            WriteHtmlPage(*html_, page);
        });
    }
    return status == 0 && compare_ && compare_->Outside() ? 1 : status;
}

}  // namespace host
