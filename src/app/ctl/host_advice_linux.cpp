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
                   "plugged in, run 'sudo udevadm control --reload && sudo udevadm trigger --action=add "
                   "--subsystem-match=hidraw' or replug the unit. The rule grants nothing to a user "
                   "logged in over ssh: run as root there";
        }
    }
    return "the udev rule 60-vandrel.rules is not installed: install the vandrel package, or copy the rule to "
           "/etc/udev/rules.d/, then run 'sudo udevadm control --reload && sudo udevadm trigger "
           "--action=add --subsystem-match=hidraw' and replug the unit";
}

}  // namespace app
