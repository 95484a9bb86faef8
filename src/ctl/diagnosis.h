#pragma once

#include "ctl/survey.h"
#include "ctl/unit_text.h"

#include <string>
#include <vector>

namespace ctl {

struct Finding {
    std::string what;  // a stable word: open, attributes, serial, capabilities, short_report, report_read, version
    std::string reason;
    std::string fix;
};

// An interface worth reporting: a unit, or a node that could not be told.
struct DiagnosedInterface {
    InterfaceFacts facts;
    std::vector<Finding> findings;  // empty: ready
};

struct Diagnosis {
    std::vector<InterfaceFacts> all;  // every interface walked
    std::vector<DiagnosedInterface> entries;
    bool noUnit = false;  // no unit, and no node that could be one
    int status = 0;
};

// advice: what the host knows about opening device nodes; empty for none.
Diagnosis diagnoseInterfaces(device::HidPlatform& platform, const std::string& advice, const ShowPath& showPath);

}  // namespace ctl
