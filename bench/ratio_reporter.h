// A console reporter that also keeps each benchmark's CPU time, so that a
// benchmark's main() can print ratios measured in the same run. With
// --benchmark_repetitions=N the ratios use the medians: the machine is
// shared and single runs are noisy.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace tamber::bench {

class ratio_reporter : public benchmark::ConsoleReporter {
public:
    ratio_reporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            if (r.error_occurred) continue;
            if (r.run_type == Run::RT_Iteration)
                times_[r.run_name.str()].push_back(r.GetAdjustedCPUTime());
            else if (r.aggregate_name == "median")
                medians_[r.run_name.str()] = r.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The median CPU time per iteration of the named benchmark; 0 if it did
    // not run.
    double time(const std::string& name) const {
        if (auto m = medians_.find(name); m != medians_.end()) return m->second;
        auto it = times_.find(name);
        if (it == times_.end() || it->second.empty()) return 0;
        std::vector<double> t = it->second;
        std::sort(t.begin(), t.end());
        return t[t.size() / 2];
    }

private:
    std::map<std::string, std::vector<double>> times_;
    std::map<std::string, double> medians_;
};

}  // namespace tamber::bench
