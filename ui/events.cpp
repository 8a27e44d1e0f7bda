// The event queue and its dispatch.  The queue is the only part of the toolkit
// that other threads touch (postEvent, postAction, postKey); everything it
// runs, runs on the user-interface thread inside ProcessSystemEvents.

#include "ui/internal.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace ui {
namespace {

// How long an idle ProcessSystemEvents waits for input.  Input wakes the wait
// at once, so the wait only bounds how soon a caller polling something else
// between calls gets control back: short right after activity, longer once the
// loop has been idle for a while, which keeps an idle loop well under 1% of a
// core.
constexpr int kIdleWaitMs = 1;
constexpr int kLongIdleWaitMs = 16;
constexpr int kIdleCallsBeforeLongWait = 50;
int idleCalls = 0;

int idleWaitMs() {
    return idleCalls >= kIdleCallsBeforeLongWait ? kLongIdleWaitMs : kIdleWaitMs;
}

struct Item {
    enum Kind { Control,
        Menu,
        Action } kind = Control;
    std::uint64_t seq = 0;
    int panel = 0; // menu events: the menu bar
    int control = 0; // menu events: the item
    int event = EVENT_NONE;
    int data1 = 0, data2 = 0;
    std::function<void()> fn;
};

struct Queue {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<Item> items;
    std::deque<int> keys;
    std::uint64_t nextSeq = 1;
    std::uint64_t posts = 0; // counts every post, keys included, to wake waiters
};

Queue& queue() {
    static Queue q;
    return q;
}

// Read by posting threads to wake the renderer's wait, hence atomic.
std::atomic<Renderer*> installed{nullptr};

void post(Item item) {
    Queue& q = queue();
    {
        std::lock_guard lock(q.mutex);
        item.seq = q.nextSeq++;
        q.items.push_back(std::move(item));
        ++q.posts;
    }
    q.cv.notify_all();
    if (Renderer* r = installed.load()) r->wake();
}

// Runs one queued item; events for panels, controls or menu bars that are
// gone by now are dropped.
void dispatch(const Item& it) {
    switch (it.kind) {
    case Item::Action:
        if (it.fn) it.fn();
        return;
    case Item::Menu: {
        const MenuBar* mb = detail::findMenuBar(it.panel);
        if (!mb) return;
        MenuCallbackPtr cb = nullptr;
        for (const auto& m : mb->menus)
            for (const auto& mi : m.items)
                if (mi.id == it.control) cb = mi.callback;
        const int panel = mb->panel;
        if (cb) cb(it.panel, it.control, nullptr, panel);
        return;
    }
    case Item::Control: {
        const Panel* p = detail::findPanel(it.panel);
        if (!p) return;
        if (it.control == 0) {
            if (PanelCallbackPtr cb = p->callback) cb(it.panel, it.event, nullptr, it.data1, it.data2);
            return;
        }
        const ui::Control* c = p->control(it.control);
        if (!c || !c->callback) return;
        CtrlCallbackPtr cb = c->callback;
        void* data = c->callbackData;
        cb(it.panel, it.control, it.event, data, it.data1, it.data2);
        return;
    }
    }
}

bool alive(const Item& it) {
    if (it.kind == Item::Menu) return detail::findMenuBar(it.panel) != nullptr;
    return detail::findPanel(it.panel) != nullptr;
}

} // namespace

void setRenderer(Renderer* r) { installed = r; }
Renderer* renderer() {
    Renderer* r = installed.load();
    return r ? r : detail::headlessRenderer();
}

void postEvent(int panel, int control, int event, int data1, int data2) {
    Item it;
    it.kind = Item::Control;
    it.panel = panel;
    it.control = control;
    it.event = event;
    it.data1 = data1;
    it.data2 = data2;
    post(std::move(it));
}

void postMenuEvent(int menuBar, int menuItem) {
    Item it;
    it.kind = Item::Menu;
    it.panel = menuBar;
    it.control = menuItem;
    it.event = EVENT_COMMIT;
    post(std::move(it));
}

void postAction(std::function<void()> fn) {
    Item it;
    it.kind = Item::Action;
    it.fn = std::move(fn);
    post(std::move(it));
}

void postKey(int key) {
    Queue& q = queue();
    {
        std::lock_guard lock(q.mutex);
        q.keys.push_back(key);
        ++q.posts;
    }
    q.cv.notify_all();
    if (Renderer* r = installed.load()) r->wake();
}

bool eventsPending() {
    Queue& q = queue();
    std::lock_guard lock(q.mutex);
    return !q.items.empty();
}

bool waitForInput(int maxWaitMs) {
    Queue& q = queue();
    std::unique_lock lock(q.mutex);
    if (!q.items.empty()) return true;
    if (maxWaitMs <= 0) return false;
    const std::uint64_t start = q.posts;
    q.cv.wait_for(lock, std::chrono::milliseconds(maxWaitMs),
        [&] { return !q.items.empty() || q.posts != start; });
    return !q.items.empty();
}

void resetForTests() {
    detail::resetEvents();
    detail::resetModel();
    detail::resetHeadless();
}

namespace detail {
void resetEvents() {
    Queue& q = queue();
    std::lock_guard lock(q.mutex);
    q.items.clear();
    q.keys.clear();
}
} // namespace detail

} // namespace ui

int ProcessSystemEvents() {
    using namespace ui;
    renderer()->pump(eventsPending() ? 0 : idleWaitMs());
    Queue& q = queue();
    std::uint64_t last = 0;
    {
        std::lock_guard lock(q.mutex);
        last = q.nextSeq - 1;
    }
    // One item at a time, so a callback that calls ProcessSystemEvents itself
    // takes the next ones, and what is queued meanwhile waits for the next call.
    for (;;) {
        Item it;
        {
            std::lock_guard lock(q.mutex);
            if (q.items.empty() || q.items.front().seq > last) break;
            it = std::move(q.items.front());
            q.items.pop_front();
        }
        dispatch(it);
        idleCalls = -1;
    }
    if (idleCalls < kIdleCallsBeforeLongWait) ++idleCalls;
    return 0;
}

int GetUserEvent(int waitMode, int* panel, int* control) {
    using namespace ui;
    if (waitMode != VAL_NO_WAIT && waitMode != VAL_WAIT) return detail::fail(UIE_BAD_ARGUMENT, "GetUserEvent");
    Queue& q = queue();
    for (;;) {
        renderer()->pump(eventsPending() || waitMode == VAL_NO_WAIT ? 0 : idleWaitMs());
        for (;;) {
            Item it;
            {
                std::lock_guard lock(q.mutex);
                if (q.items.empty()) break;
                it = std::move(q.items.front());
                q.items.pop_front();
            }
            // Actions ahead of the event still run: tests inject input through them.
            if (it.kind == Item::Action) {
                dispatch(it);
                continue;
            }
            if (!alive(it)) continue;
            if (panel) *panel = it.panel;
            if (control) *control = it.control;
            return it.event;
        }
        if (waitMode == VAL_NO_WAIT) return EVENT_NONE;
    }
}

int KeyHit() {
    using namespace ui;
    renderer()->pump(0);
    Queue& q = queue();
    std::lock_guard lock(q.mutex);
    return q.keys.empty() ? 0 : 1;
}

int GetKey() {
    using namespace ui;
    Queue& q = queue();
    for (;;) {
        {
            std::lock_guard lock(q.mutex);
            if (!q.keys.empty()) {
                const int key = q.keys.front();
                q.keys.pop_front();
                return key;
            }
        }
        ProcessSystemEvents();
    }
}
