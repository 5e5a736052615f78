#pragma once
// A console reporter that also keeps each benchmark's time per iteration, so a
// benchmark program can print its ratio against the plain baseline at the end.
// With --benchmark_repetitions the median stands for the benchmark.
#include <benchmark/benchmark.h>

#include <map>
#include <set>
#include <string>
#include <vector>

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    RecordingReporter() : ConsoleReporter(OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.error_occurred)
                continue;
            const std::string name = r.run_name.function_name;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (median)
                m_fromMedian.insert(name);
            if (median || (r.run_type == Run::RT_Iteration && r.iterations > 0 && !m_fromMedian.count(name))) {
                m_cpu[name] = r.GetAdjustedCPUTime();
                m_real[name] = r.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Time per iteration in the benchmark's unit; 0 when it did not run.
    double cpuTime(const std::string& name) const { return find(m_cpu, name); }
    double realTime(const std::string& name) const { return find(m_real, name); }

private:
    static double find(const std::map<std::string, double>& times, const std::string& name)
    {
        const auto it = times.find(name);
        return it == times.end() ? 0 : it->second;
    }
    std::map<std::string, double> m_cpu, m_real;
    std::set<std::string> m_fromMedian;
};

// Runs the benchmarks named on the command line into `reporter`; false when the
// command line holds arguments the library does not know.
inline bool runBenchmarks(int& argc, char** argv, RecordingReporter& reporter)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return false;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return true;
}
