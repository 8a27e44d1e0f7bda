#include <algorithm>
#include <cctype>
#include <arpa/inet.h>

#include "sim/fault_plan.h"
#include "sim/model.h"
#include "sim/packet.h"

namespace sim {

namespace {

struct FaultField {
    const char* name;
    int Faults::*count = nullptr;
    double Faults::*chance = nullptr;
    bool Faults::*flag = nullptr;
    int lo = 0, hi = 0; // range of count
    const char* help = "";
    std::string Faults::*text = nullptr;
};

constexpr int kMany = 1'000'000;

const FaultField kFields[] = {
    {"drop-ok", &Faults::dropOk, nullptr, nullptr, 0, kMany, "leave out the \"OK\" of the next N commands (TCP, pty)"},
    {"garble-ok", &Faults::garbleOk, nullptr, nullptr, 0, kMany, "send \"0K\" for the \"OK\" of the next N commands"},
    {"drop-reply-ok", &Faults::dropReplyOk, nullptr, nullptr, 0, kMany, "leave out the \"OK\" after the next N replies"},
    {"garble-reply-ok", &Faults::garbleReplyOk, nullptr, nullptr, 0, kMany, "send \"0K\" after the next N replies"},
    {"duplicate", &Faults::duplicate, nullptr, nullptr, 0, kMany, "write the next N responses twice in one segment"},
    {"delay", &Faults::delay, nullptr, nullptr, 0, kMany, "hold back the next N replies by delay-ms"},
    {"delay-ms", &Faults::delayMs, nullptr, nullptr, 0, 600'000, "how long a delayed reply is held back"},
    {"late", &Faults::late, nullptr, nullptr, 0, kMany, "send the whole of the next N answers late-ms later"},
    {"late-ms", &Faults::lateMs, nullptr, nullptr, 0, 600'000, "how much later a late answer comes"},
    {"split", &Faults::split, nullptr, nullptr, 0, kMany, "write the next N responses in two parts"},
    {"split-at", &Faults::splitAt, nullptr, nullptr, 0, kMany, "length of the first part of a split response"},
    {"split-gap-ms", &Faults::splitGapMs, nullptr, nullptr, 0, 600'000, "pause between the parts of a split response"},
    {"close", &Faults::closeMidReply, nullptr, nullptr, 0, kMany, "close the connection within the next N responses"},
    {"close-after", &Faults::closeAfter, nullptr, nullptr, 0, kMany, "bytes of the response sent before the close"},
    {"overlong", &Faults::overlong, nullptr, nullptr, 0, kMany, "replace the next N replies by a line of overlong-bytes"},
    {"overlong-bytes", &Faults::overlongBytes, nullptr, nullptr, 1, 1'000'000, "length of an over-long reply line"},
    {"silent", nullptr, nullptr, &Faults::silent, 0, 0, "execute commands but answer nothing (0 or 1)"},
    {"udp-lose-request", &Faults::udpLoseRequest, nullptr, nullptr, 0, kMany, "lose the next N UDP requests"},
    {"udp-lose", &Faults::udpLose, nullptr, nullptr, 0, kMany, "lose the next N datagrams sent"},
    {"udp-duplicate", &Faults::udpDuplicate, nullptr, nullptr, 0, kMany, "send each datagram of the next N answers twice"},
    {"udp-reorder", &Faults::udpReorder, nullptr, nullptr, 0, kMany, "send REPLY before CONFIRM for the next N queries"},
    {"udp-stale-id", &Faults::udpStaleId, nullptr, nullptr, 0, kMany, "add a stale datagram to the next N answers"},
    {"udp-wrong-id", &Faults::udpWrongId, nullptr, nullptr, 0, kMany, "answer the next N requests with id + 1"},
    {"udp-short", &Faults::udpShort, nullptr, nullptr, 0, kMany, "precede the next N answers by a short datagram"},
    {"udp-short-bytes", &Faults::udpShortBytes, nullptr, nullptr, 0, 5, "length of the short datagram (0..5)"},
    {"udp-truncate", &Faults::udpTruncate, nullptr, nullptr, 0, kMany, "cut the next N REPLY datagrams short"},
    {"udp-truncate-bytes", &Faults::udpTruncateBytes, nullptr, nullptr, 1, 250, "bytes a cut REPLY loses"},
    {"udp-foreign", &Faults::udpForeign, nullptr, nullptr, 0, kMany, "send the next N answers from the foreign address first"},
    {"udp-foreign-only", nullptr, nullptr, &Faults::udpForeignOnly, 0, 0, "... and only from there (0 or 1)"},
    {"ques-on", &Faults::quesOn, nullptr, nullptr, 0, 0xFFFF, "force these bits on in STAT:QUES? (load, supply)"},
    {"oper-on", &Faults::operOn, nullptr, nullptr, 0, 0xFFFF, "force these bits on in STAT:OPER? (load)"},
    {"ext-on", &Faults::extOn, nullptr, nullptr, 0, 0xFFFF, "force these bits on in STAT:QUES:EXT? (supply)"},
    {"step-capacity", &Faults::stepCapacity, nullptr, nullptr, 0, 1000, "entries of the load's step lists (0: its own)"},
    {"list-capacity", &Faults::listCapacity, nullptr, nullptr, -1, 1000, "entries of the supply's lists (0: its own, -1: none)"},
    {"fail-max", nullptr, nullptr, nullptr, 0, 0, "refuse \"H? MAX\" of this header (MLEV, STEP:CURR, ...)", &Faults::failMax},
    {"fail-min", nullptr, nullptr, nullptr, 0, 0, "refuse \"H? MIN\" of this header", &Faults::failMin},
    {"min-above-max", nullptr, nullptr, nullptr, 0, 0, "answer \"H? MIN\" of this header above its maximum",
        &Faults::minAboveMax},
    {"refuse", nullptr, nullptr, nullptr, 0, 0, "refuse every command whose first word is this (MODE, INPUT, MODE?)",
        &Faults::refuse},
    {"p-drop-ok", nullptr, &Faults::pDropOk},
    {"p-garble-ok", nullptr, &Faults::pGarbleOk},
    {"p-drop-reply-ok", nullptr, &Faults::pDropReplyOk},
    {"p-garble-reply-ok", nullptr, &Faults::pGarbleReplyOk},
    {"p-duplicate", nullptr, &Faults::pDuplicate},
    {"p-delay", nullptr, &Faults::pDelay},
    {"p-late", nullptr, &Faults::pLate},
    {"p-split", nullptr, &Faults::pSplit},
    {"p-close", nullptr, &Faults::pClose},
    {"p-overlong", nullptr, &Faults::pOverlong},
    {"p-udp-lose-request", nullptr, &Faults::pUdpLoseRequest},
    {"p-udp-lose", nullptr, &Faults::pUdpLose},
    {"p-udp-duplicate", nullptr, &Faults::pUdpDuplicate},
    {"p-udp-reorder", nullptr, &Faults::pUdpReorder},
    {"p-udp-stale-id", nullptr, &Faults::pUdpStaleId},
    {"p-udp-wrong-id", nullptr, &Faults::pUdpWrongId},
    {"p-udp-short", nullptr, &Faults::pUdpShort},
    {"p-udp-foreign", nullptr, &Faults::pUdpForeign},
    {"p-udp-truncate", nullptr, &Faults::pUdpTruncate},
};

std::string okLine(bool drop, bool garble) {
    if (drop) return "";
    // a corrupted acknowledgement: no "OK" anywhere in the line
    return garble ? "0K\r\n" : "OK\r\n";
}

} // namespace

bool setFault(Faults& faults, std::string_view name, std::string_view value, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    for (const FaultField& f : kFields) {
        if (name != f.name) continue;
        if (f.text) {
            std::string header;
            for (char ch : value) header.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(ch))));
            faults.*f.text = header;
            return true;
        }
        if (f.chance) {
            auto v = parseDouble(value);
            if (!v || *v < 0.0 || *v > 1.0) return fail("fault " + std::string(name) + ": a probability 0..1 expected");
            faults.*f.chance = *v;
            return true;
        }
        std::optional<long long> v;
        if (value.starts_with("0x") || value.starts_with("0X")) {
            const std::string_view digits = value.substr(2);
            if (!digits.empty() && digits.size() <= 8)
                if (auto h = parseHex(digits, digits.size())) v = *h;
        } else {
            v = parseInteger(value);
        }
        if (f.flag) {
            if (!v || (*v != 0 && *v != 1)) return fail("fault " + std::string(name) + ": 0 or 1 expected");
            faults.*f.flag = *v == 1;
            return true;
        }
        if (!v || *v < f.lo || *v > f.hi)
            return fail("fault " + std::string(name) + ": a whole number " + std::to_string(f.lo) + ".." +
                std::to_string(f.hi) + " expected");
        faults.*f.count = static_cast<int>(*v);
        return true;
    }
    return fail("unknown fault " + std::string(name));
}

bool parseFault(Faults& faults, std::string_view assignment, std::string* error) {
    const std::size_t eq = assignment.find('=');
    if (eq == std::string_view::npos) return setFault(faults, assignment, "1", error);
    return setFault(faults, assignment.substr(0, eq), assignment.substr(eq + 1), error);
}

std::vector<std::pair<std::string, std::string>> faultHelp() {
    std::vector<std::pair<std::string, std::string>> out;
    for (const FaultField& f : kFields) {
        std::string help = f.help;
        if (f.chance) help = std::string("probability per response of ") + (f.name + 2);
        out.emplace_back(f.name, help);
    }
    return out;
}

bool isLoopbackAddress(std::string_view address) {
    const std::string text(address);
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    return (ntohl(a.s_addr) >> 24) == 127;
}

std::vector<Piece> cutPieces(const std::string& bytes, std::vector<std::pair<std::size_t, int>> breaks) {
    std::stable_sort(breaks.begin(), breaks.end(), [](auto& a, auto& b) { return a.first < b.first; });
    std::vector<Piece> pieces;
    std::size_t from = 0;
    int pause = 0;
    for (auto [at, ms] : breaks) {
        at = std::min(at, bytes.size());
        if (at > from) {
            pieces.push_back({pause, bytes.substr(from, at - from)});
            pause = 0;
            from = at;
        }
        pause += ms;
    }
    if (from < bytes.size() || pause > 0 || pieces.empty()) pieces.push_back({pause, bytes.substr(from)});
    return pieces;
}

FaultPlan::FaultPlan(uint32_t seed, const Faults& faults) : faults_(faults), rng_(seed) { }

void FaultPlan::set(const Faults& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

Faults FaultPlan::get() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

bool FaultPlan::silent() const {
    std::lock_guard lock(mutex_);
    return faults_.silent;
}

FaultPlan::Hit FaultPlan::roll(int Faults::*counter, double Faults::*chance) {
    if (faults_.*counter > 0) {
        --(faults_.*counter);
        return Hit::Counter;
    }
    const double p = faults_.*chance;
    if (p <= 0.0) return Hit::No; // no draw, so unused kinds leave the sequence alone
    const double u = static_cast<double>(rng_()) / 4294967296.0;
    return u < p ? Hit::Chance : Hit::No;
}

std::size_t FaultPlan::below(std::size_t n) { return static_cast<std::size_t>(rng_()) % n; }

StreamPlan FaultPlan::stream(bool query, const std::string& reply, bool refused) {
    std::lock_guard lock(mutex_);
    const bool dropAck = roll(&Faults::dropOk, &Faults::pDropOk) != Hit::No;
    const bool garbleAck = !dropAck && roll(&Faults::garbleOk, &Faults::pGarbleOk) != Hit::No;
    const std::string ack = refused && !dropAck ? std::string("ERR\r\n") : okLine(dropAck, garbleAck);
    std::string bytes = ack;
    if (query) {
        const bool longLine = roll(&Faults::overlong, &Faults::pOverlong) != Hit::No;
        bytes += longLine ? std::string(static_cast<std::size_t>(faults_.overlongBytes), 'X') : reply;
        bytes += "\r\n";
        const bool dropFinal = roll(&Faults::dropReplyOk, &Faults::pDropReplyOk) != Hit::No;
        const bool garbleFinal = !dropFinal && roll(&Faults::garbleReplyOk, &Faults::pGarbleReplyOk) != Hit::No;
        bytes += okLine(dropFinal, garbleFinal);
    }
    if (roll(&Faults::duplicate, &Faults::pDuplicate) != Hit::No) bytes += bytes;

    std::vector<std::pair<std::size_t, int>> breaks;
    if (roll(&Faults::late, &Faults::pLate) != Hit::No) breaks.emplace_back(0, faults_.lateMs);
    if (roll(&Faults::delay, &Faults::pDelay) != Hit::No) breaks.emplace_back(query ? ack.size() : 0, faults_.delayMs);
    if (Hit h = roll(&Faults::split, &Faults::pSplit); h != Hit::No && bytes.size() >= 2) {
        const std::size_t at = h == Hit::Counter ? static_cast<std::size_t>(faults_.splitAt) : 1 + below(bytes.size() - 1);
        breaks.emplace_back(std::clamp<std::size_t>(at, 1, bytes.size() - 1), faults_.splitGapMs);
    }
    StreamPlan plan;
    if (Hit h = roll(&Faults::closeMidReply, &Faults::pClose); h != Hit::No) {
        // a response with nothing left to send (its only "OK" dropped) closes at once
        const std::size_t at = h == Hit::Counter ? static_cast<std::size_t>(faults_.closeAfter)
            : bytes.empty()                      ? 0
                                                 : below(bytes.size());
        bytes.resize(std::min(at, bytes.size()));
        plan.close = true;
    }
    plan.pieces = cutPieces(bytes, std::move(breaks));
    return plan;
}

GpibPlan FaultPlan::gpib(const std::string& reply, const std::string& terminator) {
    std::lock_guard lock(mutex_);
    GpibPlan plan;
    const bool longLine = roll(&Faults::overlong, &Faults::pOverlong) != Hit::No;
    plan.text = (longLine ? std::string(static_cast<std::size_t>(faults_.overlongBytes), 'X') : reply) + terminator;
    if (roll(&Faults::delay, &Faults::pDelay) != Hit::No) plan.delayMs = faults_.delayMs;
    if (roll(&Faults::late, &Faults::pLate) != Hit::No) plan.delayMs += faults_.lateMs;
    if (Hit h = roll(&Faults::split, &Faults::pSplit); h != Hit::No && plan.text.size() >= 2) {
        const std::size_t at = h == Hit::Counter ? static_cast<std::size_t>(faults_.splitAt) : 1 + below(plan.text.size() - 1);
        plan.splitAt = std::clamp<std::size_t>(at, 1, plan.text.size() - 1);
        plan.splitGapMs = faults_.splitGapMs;
    }
    if (Hit h = roll(&Faults::closeMidReply, &Faults::pClose); h != Hit::No) {
        plan.close = true;
        plan.closeAt = h == Hit::Counter ? static_cast<std::size_t>(faults_.closeAfter) : below(plan.text.size());
    }
    return plan;
}

bool FaultPlan::loseRequest() {
    std::lock_guard lock(mutex_);
    return roll(&Faults::udpLoseRequest, &Faults::pUdpLoseRequest) != Hit::No;
}

UdpPlan FaultPlan::udp(uint16_t id, bool query, const std::string& reply, const std::string& stale) {
    std::lock_guard lock(mutex_);
    UdpPlan plan;
    const bool wrongId = roll(&Faults::udpWrongId, &Faults::pUdpWrongId) != Hit::No;
    const uint16_t answerId = wrongId ? static_cast<uint16_t>(id + 1) : id;
    std::string text = reply;
    if (query && roll(&Faults::overlong, &Faults::pOverlong) != Hit::No)
        text.assign(static_cast<std::size_t>(faults_.overlongBytes), 'X');

    std::vector<Datagram> list;
    list.push_back({0, false, packet::build(packet::kConfirm, answerId, "")});
    if (query) list.push_back({0, false, packet::build(packet::kReply, answerId, text)});
    plan.last = query ? packet::build(packet::kReply, id, reply) : packet::build(packet::kConfirm, id, "");

    if (query && roll(&Faults::udpTruncate, &Faults::pUdpTruncate) != Hit::No) {
        std::string& bytes = list.back().bytes;
        const std::size_t cut = std::min<std::size_t>(static_cast<std::size_t>(faults_.udpTruncateBytes), text.size());
        bytes.resize(bytes.size() - cut);
    }
    // the datagram that carries the answer's result: a query's REPLY, a command's CONFIRM
    std::size_t result = list.size() - 1;
    if (roll(&Faults::delay, &Faults::pDelay) != Hit::No) list[result].pauseMs = faults_.delayMs;
    if (query && roll(&Faults::udpReorder, &Faults::pUdpReorder) != Hit::No) {
        std::swap(list[0], list[1]);
        result = 0;
    }
    if (roll(&Faults::udpStaleId, &Faults::pUdpStaleId) != Hit::No) {
        const std::string old = stale.empty() ? packet::build(packet::kReply, static_cast<uint16_t>(id - 1), "") : stale;
        list.insert(list.begin() + static_cast<std::ptrdiff_t>(result), Datagram{0, false, old});
    }
    if (roll(&Faults::udpShort, &Faults::pUdpShort) != Hit::No) {
        const std::string runt = list.front().bytes.substr(0, static_cast<std::size_t>(faults_.udpShortBytes));
        list.insert(list.begin(), Datagram{0, false, runt});
    }
    if (roll(&Faults::udpDuplicate, &Faults::pUdpDuplicate) != Hit::No) {
        std::vector<Datagram> twice;
        for (const Datagram& d : list) {
            twice.push_back(d);
            twice.push_back({0, d.foreign, d.bytes});
        }
        list = std::move(twice);
    }
    if (roll(&Faults::udpForeign, &Faults::pUdpForeign) != Hit::No) {
        std::vector<Datagram> both;
        for (const Datagram& d : list) both.push_back({d.pauseMs, true, d.bytes});
        if (!faults_.udpForeignOnly)
            for (const Datagram& d : list) both.push_back({0, false, d.bytes});
        list = std::move(both);
    }
    if (roll(&Faults::late, &Faults::pLate) != Hit::No) list.front().pauseMs += faults_.lateMs;
    int carried = 0; // a lost datagram's pause still passes before the next one
    for (Datagram& d : list) {
        if (roll(&Faults::udpLose, &Faults::pUdpLose) != Hit::No) {
            carried += d.pauseMs;
            continue;
        }
        d.pauseMs += carried;
        carried = 0;
        plan.datagrams.push_back(std::move(d));
    }
    return plan;
}

} // namespace sim
