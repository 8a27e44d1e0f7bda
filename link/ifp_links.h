// The interface panel's memory of the last address of each link kind, kept
// across runs in links.cfg of the per-user configuration folder
// ($IMBENCH_LINKS when set, else $XDG_CONFIG_HOME/imbench or
// ~/.config/imbench), lines of "key = value":
//
//   KIND = TCP
//   GPIB = 5
//   COM = 3 115200
//   TCP = 192.168.0.10
//   UDP = 192.168.0.11
#pragma once

#include <string>
#include <string_view>

inline constexpr int IFP_LINK_KINDS = 4;
inline constexpr std::size_t IFP_LINKS_ADDRESS_MAX = 19; // as the IP address box

// What is remembered; -1 or an empty text where nothing is.
struct IfpLinks {
    int kind = -1; // the kind last opened
    int gpib = -1;
    int com = -1;
    int baud = -1;
    std::string tcp, udp;
};

std::string ifp_links_path();
// Unknown keys, unreadable values and addresses too long for the box are left out.
IfpLinks ifp_links_parse(std::string_view text);
std::string ifp_links_format(const IfpLinks& links);
// Nothing remembered when the file is missing or cannot be used.
IfpLinks ifp_links_load();
// Replaces the file whole (its folder made if need be); empty, or why not.
std::string ifp_links_save(const IfpLinks& links);
