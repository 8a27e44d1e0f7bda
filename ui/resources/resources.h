// The application's panel resources: one table per resource file
// ("ifcPanel.uir", "debug.uir", ...), kept in this library rather than in the
// toolkit.  A static library drops objects that only register themselves, so
// the application and the tests that load its panels call
// resources_register_all() at start-up.
#pragma once

// Registers (or replaces) the table of every resource file of this library.
void resources_register_all();
