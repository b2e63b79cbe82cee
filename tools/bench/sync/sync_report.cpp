// sync_report: the figures of one benchmark run from the event logs of its instances.
//   sync_report [--label TEXT] <log>[@<in point>]... [--baseline <log>[@<in point>]...]
// The first log of each group is the Master's (or the baseline's first process).

#include "sync_log.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool readInstance(const std::string& argument, std::vector<Instance>& into) {
    const std::size_t at = argument.rfind('@');
    Instance instance;
    const std::string path = at == std::string::npos ? argument : argument.substr(0, at);
    if (at != std::string::npos) {
        instance.inPoint = std::stoll(argument.substr(at + 1));
    }
    std::ifstream log(path);
    if (!log) {
        std::fprintf(stderr, "sync_report: cannot read %s\n", path.c_str());
        return false;
    }
    instance.events = readEvents(log);
    into.push_back(std::move(instance));
    return true;
}

void printFigures(const char* name, const std::vector<double>& seconds) {
    const Figures f = figuresOf(seconds);
    std::printf("  %-6s median %7.2f  p95 %7.2f  max %7.2f ms", name, f.median * 1e3, f.p95 * 1e3,
                f.max * 1e3);
}

void printReport(const char* what, const SyncReport& report) {
    std::printf("%-9s starts %3zu  missing %d  mismatches %d  still cueing: Slaves %d, Master %d\n",
                what, report.starts.size(), report.missing, report.mismatches, report.stillCueing,
                report.masterStillCueing);
    printFigures("skew", report.skews);
    std::printf("\n");
    printFigures("cue", report.cueTimes);
    std::printf("\n");
    if (!report.lateness.empty()) {
        printFigures("late", report.lateness);
        std::printf("  (Slaves still cueing: their start after the Master's \"Play\")\n");
    }
}

double ratio(double a, double b) {
    return b > 0 ? a / b : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Instance> program;
    std::vector<Instance> baseline;
    std::string label;
    std::vector<Instance>* group = &program;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--label" && i + 1 < argc) {
            label = argv[++i];
        } else if (arg == "--baseline") {
            group = &baseline;
        } else if (!readInstance(arg, *group)) {
            return 1;
        }
    }
    if (program.empty()) {
        std::fputs(
            "usage: sync_report [--label TEXT] <log>[@<in>]... [--baseline <log>[@<in>]...]\n",
            stderr);
        return 2;
    }
    std::printf("== %s\n", label.c_str());
    const SyncReport measured = analyze(program);
    printReport("program", measured);
    if (baseline.empty()) {
        return 0;
    }
    const SyncReport bare = analyze(baseline);
    printReport("baseline", bare);
    const Figures p = figuresOf(measured.skews);
    const Figures b = figuresOf(bare.skews);
    const Figures pc = figuresOf(measured.cueTimes);
    const Figures bc = figuresOf(bare.cueTimes);
    std::printf("  ratio  skew median %.2fx  p95 %.2fx  max %.2fx   cue median %.2fx  p95 %.2fx\n",
                ratio(p.median, b.median), ratio(p.p95, b.p95), ratio(p.max, b.max),
                ratio(pc.median, bc.median), ratio(pc.p95, bc.p95));
    return 0;
}
