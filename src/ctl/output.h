#pragma once

#include "ctl/diagnosis.h"
#include "ctl/unit_settings.h"
#include "ctl/unit_text.h"

#include <string>
#include <vector>

namespace ctl {

// What vandrelctl prints on standard output, as text for a terminal or as
// the JSON its manual documents. Each result ends with a newline.
std::string listText(const std::vector<InterfaceFacts>& units, const ShowPath& showPath);
std::string listJson(const std::vector<InterfaceFacts>& units, const ShowPath& showPath);
std::string resultsText(const std::vector<UnitResult>& results, const ShowPath& showPath);
std::string resultsJson(const std::vector<UnitResult>& results, const ShowPath& showPath);
std::string diagnosisText(const Diagnosis& diagnosis, const ShowPath& showPath);
std::string diagnosisJson(const Diagnosis& diagnosis, const ShowPath& showPath);

}  // namespace ctl
