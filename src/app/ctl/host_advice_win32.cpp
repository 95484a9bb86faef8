#include "app/ctl/host_advice.h"

namespace app {

std::string openAdvice() {
    return "close any other program that holds the unit open, then unplug and replug it; if it stays, "
           "reinstall the unit's driver in Device Manager";
}

}  // namespace app
