// Appending to a shown text box (the message log): the cost of one appended
// line with 1000 lines already shown, against the same with 100000 lines
// shown.  A ratio near 1 means appends do not grow with the log.

#include "ui/model.h"
#include "ui/qt/qt_renderer.h"
#include "ui/resource.h"
#include "ui/toolkit.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

int logPanel()
{
    UiCtrlDef box;
    box.id = 1;
    box.kind = UiCtrlKind::TextBox;
    box.dataType = VAL_STRING;
    box.mode = VAL_INDICATOR;
    box.top = 20;
    box.left = 10;
    box.width = 500;
    box.height = 300;
    UiPanelDef def;
    def.id = 1;
    def.title = "Log";
    def.width = 520;
    def.height = 330;
    def.controls.push_back(box);
    ui_register_resource(UiResourceDef{"benchLog.uir", {def}, {}});
    const int panel = LoadPanel(0, "benchLog.uir", 1);
    DisplayPanel(panel);
    return panel;
}

void BM_TextBoxAppend(benchmark::State& state)
{
    const int panel = logPanel();
    const std::string line = "TX: IM:MEAS:VAL?  RX: 1.000000e+03,2.5e-01,-12.5,1.0e-02,3.5,25.0,-16.0";
    for (int i = 0; i < state.range(0); ++i) InsertTextBoxLine(panel, 1, -1, line.c_str());
    ProcessSystemEvents();
    int n = 0;
    for (auto _ : state) {
        InsertTextBoxLine(panel, 1, -1, (line + " #" + std::to_string(n++)).c_str());
        ProcessSystemEvents(); // the widget lays out and paints the new line
    }
    DiscardPanel(panel);
}
BENCHMARK(BM_TextBoxAppend)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

class Collect : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> cpu;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) cpu[r.benchmark_name()] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int qtArgc = 1;
    static char name[] = "bench_ui_qt_textbox";
    static char* qtArgv[] = {name, nullptr};
    if (!ui_qt_install(qtArgc, qtArgv)) return 1;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Collect report;
    benchmark::RunSpecifiedBenchmarks(&report);
    benchmark::Shutdown();
    auto& c = report.cpu;
    const char* small = "BM_TextBoxAppend/1000";
    const char* large = "BM_TextBoxAppend/100000";
    if (c.count(small) && c.count(large))
        std::printf("append one line and process events: %.1f us with 1000 lines, %.1f us with 100000 lines "
                    "(ratio %.2f)\n",
            c[small], c[large], c[large] / c[small]);
    ui_qt_uninstall();
    return 0;
}
