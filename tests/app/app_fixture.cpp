#include "tests/app/app_fixture.h"

#include "app/fra.h"
#include "app/ifc.h"
#include "link/ifp.h"
#include "link/io.h"
#include "tests/link/io_test_support.h"
#include "ui/resources/ifcPanel.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace apptest {

namespace fs = std::filesystem;
namespace hl = ui::headless;

void AppTest::SetUp()
{
    ui::resetForTests();
    hl::clearPopups();
    hl::clearAnswers();
    std::string pattern = (fs::temp_directory_path() / "imbench-app-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    setenv("IMBENCH_PROJECT_DIR", dir_.c_str(), 1);
}

void AppTest::TearDown()
{
    ifp_quit();
    io_hook_debug_printf(nullptr);
    iotest::closeAllLinks();
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

void AppTest::registerEverything() { ifc_register_all(); }

UiScript::UiScript(std::vector<Step> steps, int limitMs) : state_(std::make_shared<State>())
{
    state_->steps = std::move(steps);
    thread_ = std::thread([state = state_, limitMs] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!state->stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (std::chrono::steady_clock::now() > end) {
                ui::postAction([state] {
                    state->timedOut = true;
                    if (ifp_panel() >= 0)
                        hl::closePanel(ifp_panel());
                });
                return;
            }
            ui::postAction([state] { state->check(); });
        }
    });
}

UiScript::~UiScript()
{
    state_->stop = true;
    thread_.join();
}

void UiScript::State::check()
{
    if (next < steps.size() && steps[next].first()) {
        auto action = steps[next].second;
        ++next;
        action();
    }
    if (next == steps.size())
        stop = true;
}

void openTcp(const std::string& address, int deviceMode)
{
    const int panel = ifp_panel();
    ASSERT_GE(panel, 0);
    SetCtrlVal(panel, IFP_PANEL_DEVMODE, deviceMode);
    ifp_select_link(IO_TCP, address.c_str());
    ASSERT_EQ(hl::commit(panel, IFP_PANEL_OPEN, 1), 0);
}

bool always() { return true; }

}  // namespace apptest
