#include "app/ctl/host_advice.h"

#include <sys/stat.h>

namespace app {

namespace {

// Where udev reads rules from; the package installs into the first.
constexpr const char* kRuleFiles[] = {"/usr/lib/udev/rules.d/60-vandrel.rules", "/lib/udev/rules.d/60-vandrel.rules",
                                      "/etc/udev/rules.d/60-vandrel.rules"};

}  // namespace

std::string openAdvice() {
    struct stat st {};
    for (const char* file : kRuleFiles) {
        if (::stat(file, &st) == 0) {
            return std::string("the udev rule ") + file +
                   " is installed; it gives the user at the local desktop access. To apply it to a unit already "
                   "plugged in, run 'sudo udevadm control --reload && sudo udevadm trigger --subsystem-match=hidraw' "
                   "or replug the unit; over ssh, run as root or add a rule with MODE=\"0660\" and your group";
        }
    }
    return "the udev rule 60-vandrel.rules is not installed: install the vandrel package, or copy the rule to "
           "/etc/udev/rules.d/, then run 'sudo udevadm control --reload && sudo udevadm trigger "
           "--subsystem-match=hidraw' and replug the unit";
}

}  // namespace app
