#include "eload/eload.h"

#include "eload/eloadPanel.h"
#include "eload/eload_access.h"
#include "eload/eload_private.h"
#include "link/ifp.h"
#include "link/scpi.h"
#include "ui/toolkit.h"
#include "util/timer.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace {

struct EloadState {
    int mainP = -1, tranP = -1, protP = -1, optiP = -1, alarmP = -1;
    int refreshed = 0;
    int active = 0;
    int32_t deadline = 0;
    int blink = 0;
    int meter = 1;
    int kzr_device = 0;
    int size_flag = 0;
    int silent_cycles = 0; // cycles in a row the instrument left unanswered
    void (*close_hook)() = nullptr;
};

EloadState st;

// Readout quantities, as the display selectors number them.
enum { Q_VOLT,
    Q_CURR,
    Q_RES,
    Q_POW,
    Q_TEMP,
    Q_COUNT };
constexpr const char* kUnits[Q_COUNT] = {"V", "A", "\xCE\xA9", "W", "\xC2\xB0"};
// Characters of a reading shown before its unit.
constexpr std::size_t kReadingChars = 6;
constexpr std::size_t kTempChars = 5;

constexpr unsigned kQuesAlarmBit = 1u << ELOAD_ALARM_QUES_SUMMARY_BIT;

int main_int(int control) { return eload_int(st.mainP, control); }

void eload_panel_size()
{
    if (st.mainP < 0)
        return;
    const int height = st.size_flag ? eload_bottom_of(st.mainP, ELOAD_MAIN_IDN) + 5 : eload_bottom_of(st.mainP, ELOAD_MAIN_SIZE) + 15;
    if (height > 0)
        SetPanelAttribute(st.mainP, ATTR_HEIGHT, height);
}

// While the load picks its range the selector only shows it.
void range_follow(int automatic)
{
    SetCtrlAttribute(st.mainP, ELOAD_MAIN_RANGE, ATTR_CTRL_MODE, automatic ? VAL_INDICATOR : VAL_HOT);
    SetCtrlAttribute(st.mainP, ELOAD_MAIN_RANGE, ATTR_TEXT_COLOR, VAL_BLACK);
    SetCtrlAttribute(st.mainP, ELOAD_MAIN_RANGE, ATTR_TEXT_BGCOLOR, VAL_WHITE);
}

void range_refresh() { eload_refresh_int(st.mainP, ELOAD_MAIN_RANGE, ELOAD_I_MODE_RANGE, 0); }

void level_limits_refresh()
{
    eload_refresh_float(st.mainP, ELOAD_MAIN_LEVEL, ELOAD_F_MLEV, 1);
    if (st.tranP >= 0)
        eload_refresh_float(st.tranP, ELOAD_TRAN_LEVEL, ELOAD_F_TLEV, 1);
}

void mode_refresh()
{
    int mode = 0;
    if (eload_access_mode(&mode, 0))
        SetCtrlVal(st.mainP, ELOAD_MAIN_MODE, mode);
}

void main_refresh()
{
    char idn[SCPI_LINE_SIZE];
    if (!scpi_query_text("*IDN?", idn))
        return;
    SetCtrlVal(st.mainP, ELOAD_MAIN_IDN, idn);
    if (!eload_refresh_int(st.mainP, ELOAD_MAIN_INPUT, ELOAD_I_INPUT, 0) ||
        !eload_refresh_int(st.mainP, ELOAD_MAIN_SHORT, ELOAD_I_SHORT, 0) ||
        !eload_refresh_int(st.mainP, ELOAD_MAIN_RANGE_CTRL, ELOAD_I_UTIL_RANGE, 0))
        return;
    range_follow(main_int(ELOAD_MAIN_RANGE_CTRL));
    range_refresh();
    level_limits_refresh();
    mode_refresh();
}

// After a refused set the control shows what the instrument holds, when it
// says; a silent instrument leaves the user's value.
void read_back_int(int control, int param) { eload_refresh_int(st.mainP, control, param, 0); }

void show_reading(int readout, int quantity, const std::string (&texts)[Q_COUNT])
{
    if (quantity < 0 || quantity >= Q_COUNT)
        return;
    std::string text = texts[quantity].substr(0, quantity == Q_TEMP ? kTempChars : kReadingChars);
    text += kUnits[quantity];
    SetCtrlVal(st.mainP, readout, text);
}

void alarm_show(unsigned ques, unsigned oper)
{
    for (int bit = 0; bit < 16; ++bit) {
        if (bit != ELOAD_ALARM_QUES_SUMMARY_BIT)
            SetCtrlVal(st.alarmP, ELOAD_ALARM_QUES + bit, (ques >> bit) & 1u ? 1 : 0);
        if (bit >= ELOAD_ALARM_OPER_FIRST_BIT)
            SetCtrlVal(st.alarmP, ELOAD_ALARM_OPER + bit, (oper >> bit) & 1u ? 1 : 0);
    }
}

// One cycle's exchanges and what they show; ends at the first failure.
void cycle()
{
    std::string texts[Q_COUNT];
    const int selA = main_int(ELOAD_MAIN_SEL_A), selB = main_int(ELOAD_MAIN_SEL_B);
    if (selA == Q_TEMP || selB == Q_TEMP) {
        float celsius = 0.0f;
        if (!eload_access_float(ELOAD_F_MEAS_TEMP, &celsius, 0, 0, 0))
            return;
        char text[64];
        std::snprintf(text, sizeof text, "%f", static_cast<double>(celsius));
        texts[Q_TEMP] = text;
    }
    char reply[SCPI_LINE_SIZE];
    char words[4][ELOAD_WORD_SIZE];
    if (!scpi_query_text("MEAS:SUMM?", reply) || !eload_summary_words(reply, words))
        return;
    texts[Q_VOLT] = words[0];
    texts[Q_CURR] = words[1];
    texts[Q_POW] = words[2];
    texts[Q_RES] = words[3];
    show_reading(ELOAD_MAIN_READ_A, selA, texts);
    show_reading(ELOAD_MAIN_READ_B, selB, texts);
    if (main_int(ELOAD_MAIN_RANGE_CTRL))
        range_refresh();

    int ques = 0, oper = 0;
    if (!eload_access_int(ELOAD_I_STAT_QUES, &ques, 0, 0, 0) || !eload_access_int(ELOAD_I_STAT_OPER, &oper, 0, 0, 0))
        return;
    const bool alarm = (static_cast<unsigned>(ques) & kQuesAlarmBit) != 0 && st.blink == 1;
    if (alarm)
        CVI_Beep();
    SetCtrlVal(st.mainP, ELOAD_MAIN_ALARM, alarm ? 1 : 0);
    if (st.alarmP >= 0)
        alarm_show(static_cast<unsigned>(ques), static_cast<unsigned>(oper));
}

// An instrument that stops answering would freeze the interface for three
// tries of every exchange, every second, for ever: after a few silent cycles
// in a row the link is given up, and the user is told why.
void count_silence(bool silent)
{
    st.silent_cycles = silent ? st.silent_cycles + 1 : 0;
    if (st.silent_cycles < ELOAD_SILENT_CYCLES)
        return;
    st.silent_cycles = 0;
    wprintf(1, "The load has not answered for %d measurement cycles in a row; link closed.", ELOAD_SILENT_CYCLES);
    ifp_close();
    MessagePopup("Error!", "The electronic load stopped answering: three measurement cycles in a row "
                           "got no reply, so the link was closed.\nCheck the instrument and its "
                           "connection, then open the link again.");
}

void discard(int& panel)
{
    if (panel >= 0)
        DiscardPanel(panel);
    panel = -1;
}

// Sets a toggle of the main panel to 0 and runs its callback, as a user would.
void toggle_off(int panel, int control, CtrlCallbackPtr callback)
{
    if (panel < 0)
        return;
    SetCtrlVal(panel, control, 0);
    callback(panel, control, EVENT_COMMIT, nullptr, 0, 0);
}

} // namespace

int eload_summary_words(const char* reply, char (&words)[4][ELOAD_WORD_SIZE])
{
    if (reply == nullptr)
        return 0;
    const char* p = reply;
    int n = 0;
    for (;;) {
        while (*p == ' ')
            ++p;
        if (*p == '\0')
            break;
        const std::size_t len = std::strcspn(p, " ");
        if (n == 4 || len >= ELOAD_WORD_SIZE)
            return 0;
        std::memcpy(words[n], p, len);
        words[n][len] = '\0';
        ++n;
        p += len;
    }
    return n == 4 ? 1 : 0;
}

int eload_int(int panel, int control)
{
    int v = 0;
    GetCtrlVal(panel, control, &v);
    return v;
}

int eload_bottom_of(int panel, int control)
{
    int top = 0, height = 0;
    if (GetCtrlBoundingRect(panel, control, &top, nullptr, &height, nullptr) < 0)
        return -1;
    return top + height;
}

int eload_panel(int resourceId)
{
    switch (resourceId) {
    case ELOAD_ALARM:
        return st.alarmP;
    case ELOAD_MAIN:
        return st.mainP;
    case ELOAD_OPTI:
        return st.optiP;
    case ELOAD_PROT:
        return st.protP;
    case ELOAD_TRAN:
        return st.tranP;
    default:
        return -1;
    }
}

int eload_open()
{
    if (st.mainP >= 0)
        return 1;
    using Slot = std::pair<int*, int>;
    for (auto [handle, id] : {Slot{&st.mainP, ELOAD_MAIN}, Slot{&st.tranP, ELOAD_TRAN}, Slot{&st.protP, ELOAD_PROT},
             Slot{&st.optiP, ELOAD_OPTI}}) {
        const int h = LoadPanel(0, ELOAD_PANEL_FILE, id);
        if (h < 0) {
            MessagePopup("Error!", "A panel of the electronic load could not be loaded.");
            return 0;
        }
        *handle = h;
    }
    st.refreshed = 0;
    eload_step_forget(); // a new run may face another instrument
    eload_panel_size();
    eload_tran_size(0);
    return 1;
}

void eload_active(int on)
{
    if (st.mainP < 0)
        return;
    st.active = on;
    if (on == 1) {
        if (!st.refreshed) {
            main_refresh();
            st.refreshed = 1;
        }
        DisplayPanel(st.mainP);
        return;
    }
    toggle_off(st.mainP, ELOAD_MAIN_TRAN, tran_panel_cb);
    toggle_off(st.mainP, ELOAD_MAIN_PROT, prot_panel_cb);
    toggle_off(st.mainP, ELOAD_MAIN_OPTI, opti_panel_cb);
    HidePanel(st.mainP);
}

void eload_close()
{
    eload_active(0);
    st.refreshed = 0;
}

void eload_quit()
{
    discard(st.mainP);
    discard(st.tranP);
    discard(st.protP);
    discard(st.optiP);
    discard(st.alarmP);
    // The next open starts afresh: first cycle at once, measuring on.
    const auto hook = st.close_hook;
    st = EloadState{};
    st.close_hook = hook;
}

void eload_measure()
{
    if (st.mainP < 0)
        return;
    SetCtrlVal(st.mainP, ELOAD_MAIN_DEADLINE, static_cast<int>(st.deadline));
    if (!timer_timeout(st.deadline))
        return;
    st.deadline = timer_deadline(ELOAD_CYCLE_MS);
    st.blink = !st.blink;
    if (!st.meter)
        return;
    const unsigned before = scpi_unanswered();
    cycle();
    count_silence(scpi_unanswered() != before);
}

int eload_main()
{
    eload_measure();
    return st.active == 1 ? 1 : 0;
}

void eload_set_kzr_mode(int mode)
{
    st.size_flag = mode == 1 ? 0 : 1;
    eload_panel_size();
}

void eload_set_kzr_device(int flag)
{
    st.kzr_device = flag;
    if (flag == 0)
        eload_set_kzr_mode(0);
}

void eload_set_close_hook(void (*hook)()) { st.close_hook = hook; }

int eload_stop(int, int event, void*, int, int)
{
    if (event != EVENT_CLOSE)
        return 0;
    if (st.kzr_device == 0)
        st.active = 0;
    else if (st.close_hook)
        st.close_hook();
    else
        eload_active(0);
    return 0;
}

int panel_close(int panel, int event, void*, int, int)
{
    if (event != EVENT_CLOSE)
        return 0;
    if (panel == st.protP) {
        toggle_off(st.mainP, ELOAD_MAIN_PROT, prot_panel_cb);
    } else if (panel == st.tranP) {
        toggle_off(st.tranP, ELOAD_TRAN_STEP, tran_fun_cb);
        toggle_off(st.mainP, ELOAD_MAIN_TRAN, tran_panel_cb);
    } else if (panel == st.optiP) {
        toggle_off(st.mainP, ELOAD_MAIN_OPTI, opti_panel_cb);
    } else if (panel == st.alarmP) {
        SetCtrlVal(st.alarmP, ELOAD_ALARM_CLOSE, 1);
        alarm_panel_cb(st.alarmP, ELOAD_ALARM_CLOSE, EVENT_COMMIT, nullptr, 0, 0);
    }
    return 0;
}

int status_event_cb(int, int control, int event, void*, int, int)
{
    if (event != EVENT_LEFT_CLICK || control != ELOAD_MAIN_ALARM || st.alarmP >= 0)
        return 0;
    const int h = LoadPanel(0, ELOAD_PANEL_FILE, ELOAD_ALARM);
    if (h < 0) {
        MessagePopup("Error!", "The alarm panel of the electronic load could not be loaded.");
        return 0;
    }
    st.alarmP = h;
    DisplayPanel(st.alarmP);
    return 0;
}

int alarm_panel_cb(int, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || st.alarmP < 0)
        return 0;
    if (control == ELOAD_ALARM_CLEAR) {
        SetCtrlVal(st.alarmP, ELOAD_ALARM_CLEAR, 0);
        eload_access_int(ELOAD_I_PROT_CLEAR, nullptr, 0, 0, 1);
    } else if (control == ELOAD_ALARM_CLOSE) {
        SetCtrlVal(st.alarmP, ELOAD_ALARM_CLOSE, 0);
        discard(st.alarmP);
    }
    return 0;
}

int input_cb(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    int value = 0;
    GetCtrlVal(panel, control, &value);
    if (control == ELOAD_MAIN_INPUT) {
        if (eload_access_int(ELOAD_I_INPUT, &value, 0, 0, 1))
            return 0;
        read_back_int(ELOAD_MAIN_INPUT, ELOAD_I_INPUT);
        return -1;
    }
    if (control != ELOAD_MAIN_SHORT)
        return 0;
    // A guard query that fails counts as "short not allowed": nothing is sent.
    int allowed = 0, external = 1;
    eload_access_int(ELOAD_I_SHORT_STATE, &allowed, 0, 0, 0);
    eload_access_int(ELOAD_I_EXT_CONTROL, &external, 0, 0, 0);
    if (allowed == 0 || external != 0) {
        SetCtrlVal(panel, control, value != 1 ? 1 : 0);
        MessagePopup("Error!", "SHORT Control Disabled!");
        return 0;
    }
    if (eload_access_int(ELOAD_I_SHORT, &value, 0, 0, 1))
        return 0;
    read_back_int(ELOAD_MAIN_SHORT, ELOAD_I_SHORT);
    return -1;
}

int range_control_cb(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    int value = 0;
    switch (control) {
    case ELOAD_MAIN_RANGE_CTRL:
        GetCtrlVal(panel, control, &value);
        range_follow(value);
        if (!eload_access_int(ELOAD_I_UTIL_RANGE, &value, 0, 0, 1)) {
            read_back_int(ELOAD_MAIN_RANGE_CTRL, ELOAD_I_UTIL_RANGE);
            range_follow(main_int(ELOAD_MAIN_RANGE_CTRL));
            return -1;
        }
        if (value != 0)
            return 0;
        value = main_int(ELOAD_MAIN_RANGE);
        if (!eload_access_int(ELOAD_I_MODE_RANGE, &value, 0, 0, 1))
            range_refresh();
        break;
    case ELOAD_MAIN_RANGE:
        GetCtrlVal(panel, control, &value);
        if (!eload_access_int(ELOAD_I_MODE_RANGE, &value, 0, 0, 1))
            range_refresh();
        break;
    case ELOAD_MAIN_MODE: {
        GetCtrlVal(panel, control, &value);
        // A mode the instrument refused is read back, so the selector never
        // shows a mode the load is not in.
        if (!eload_access_mode(&value, 1))
            mode_refresh();
        // The load needs a moment in its new mode before it reports its range.
        const int32_t settled = timer_deadline(ELOAD_MODE_SETTLE_MS);
        while (!timer_timeout(settled)) {
        }
        range_refresh();
        break;
    }
    case ELOAD_MAIN_LEVEL: {
        float level = 0.0f;
        GetCtrlVal(panel, control, &level);
        if (!eload_access_float(ELOAD_F_MLEV, &level, 0, 0, 1)) {
            eload_refresh_float(st.mainP, ELOAD_MAIN_LEVEL, ELOAD_F_MLEV, 0);
            return -1;
        }
        range_refresh();
        return 0;
    }
    default:
        return 0;
    }
    if (!eload_refresh_int(st.mainP, ELOAD_MAIN_INPUT, ELOAD_I_INPUT, 0))
        return -1;
    level_limits_refresh();
    return 0;
}

int meter_cb(int, int, int event, void*, int, int)
{
    if (event == EVENT_RIGHT_DOUBLE_CLICK)
        st.meter = !st.meter;
    return 0;
}

int panel_size_cb(int, int, int event, void*, int, int)
{
    if (event == EVENT_RIGHT_DOUBLE_CLICK) {
        st.size_flag = !st.size_flag;
        eload_panel_size();
    }
    return 0;
}
