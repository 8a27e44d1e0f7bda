#include "ui/resources/resources.h"

#include "ui/resources/debug.h"
#include "ui/resources/ifcPanel.h"

// A new resource file: its table in a .cpp/.h pair of this folder, and its
// registration here.
void resources_register_all() {
    ifcPanel_register_resource();
    debug_register_resource();
}
