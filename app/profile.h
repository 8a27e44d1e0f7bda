// Profiles: every persisted setting of the measurement tool, the DC sweep
// list included, saved to and loaded from an INI file chosen by the user
// through the main menu's Load Profile and Save Profile.  A loaded profile is
// applied at once: the display windows follow their toggles and every module
// setting is sent again.
#pragma once

#include <cstddef>
#include <string>

// The profile path holds at most this many characters.
inline constexpr std::size_t PROFILE_PATH_MAX = 259;

// Menu callback of Load Profile and Save Profile; other items do nothing.
void profile_service(int menuBar, int menuItem, void* callbackData, int panel);

// What Load Profile does once a file is chosen: every setting and the DC
// sweep list taken from path, the display windows shown as their toggles say
// and every module setting sent.  False, with nothing applied, when the file
// cannot be read (or no measurement run is up).
bool profile_load_file(const char* path);
// What Save Profile does once a file is chosen: the settings in force, the DC
// sweep list included, written to path.  False when it cannot be written.
bool profile_save_file(const char* path);

// Registers profile_service and binds the settings table to the panel handles
// of the measurement run (the main panel and the four display windows).
void profile_register();

// The path the next file dialog offers: the project folder's "default.ini"
// until a file has been chosen, then the last chosen file.
const char* profile_get_path();

// The DC sweep list as a profile carries it: the ten steps as "%f %f " pairs.
std::string profile_dcsw_text();
// Sets all ten steps to 0.0, 0.0, then takes up to ten pairs of numbers from
// text (blank separated; a word that is no number counts as 0.0; an
// incomplete last pair is dropped).  Values are kept within what the DC sweep
// list window accepts.
void profile_dcsw_parse(const char* text);
