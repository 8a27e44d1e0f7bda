// The application on the headless driver: a fresh run time with every
// resource and callback registered, device.cfg in a folder of the test's own,
// and a script of user actions that runs while ifc_main holds the thread.
#pragma once

#include "ui/headless.h"
#include "ui/model.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace apptest {

class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Registers the resources and callbacks imbench registers.
    static void registerEverything();
    std::string dir_;
};

// Steps of (condition, action), run in order on the user-interface thread:
// each action runs at the first event turn at which its condition holds.  A
// script that has not finished within its limit closes the interface panel,
// so that a failing test ends instead of hanging.
class UiScript {
public:
    using Step = std::pair<std::function<bool()>, std::function<void()>>;
    explicit UiScript(std::vector<Step> steps, int limitMs = 20000);
    ~UiScript();
    UiScript(const UiScript&) = delete;
    UiScript& operator=(const UiScript&) = delete;

    // After ifc_main returned: whether every step ran, and whether the limit ended it.
    bool finished() const { return state_->next == state_->steps.size(); }
    bool timedOut() const { return state_->timedOut; }

private:
    // Shared with the actions still queued when the script goes away.
    struct State {
        std::vector<Step> steps;
        std::size_t next = 0;
        bool timedOut = false;
        std::atomic<bool> stop{false};
        void check();
    };
    std::shared_ptr<State> state_;
    std::thread thread_;
};

// Chooses TCP with address, the device mode, and switches Open on.
void openTcp(const std::string& address, int deviceMode);
bool always();

}  // namespace apptest
