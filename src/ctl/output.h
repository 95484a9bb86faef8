#pragma once

#include "ctl/diagnosis.h"
#include "ctl/unit_settings.h"
#include "ctl/unit_text.h"

#include <optional>
#include <string>
#include <string_view>
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

// JSON text built in one pass: commas go in by themselves, keys are plain
// ASCII given by the caller, strings are escaped.
class JsonWriter {
public:
    JsonWriter& beginObject() { return open('{'); }
    JsonWriter& endObject() { return close('}'); }
    JsonWriter& beginArray() { return open('['); }
    JsonWriter& endArray() { return close(']'); }
    JsonWriter& key(std::string_view name);
    JsonWriter& string(std::string_view text);
    JsonWriter& stringOrNull(const std::optional<std::string>& text);  // null for nullopt
    JsonWriter& number(long long value);
    JsonWriter& number(const std::optional<long long>& value);  // null when empty
    // A number already in its decimal text; null when empty.
    JsonWriter& numberText(const std::optional<std::string>& text);
    JsonWriter& boolean(bool value);
    JsonWriter& null();

    const std::string& text() const { return m_text; }

private:
    void beforeValue();
    // A value already in its JSON text.
    JsonWriter& raw(std::string_view text);
    JsonWriter& open(char bracket);
    JsonWriter& close(char bracket);

    std::string m_text;
    std::vector<bool> m_hasItems;  // per open object or array
    bool m_afterKey = false;
};

// A JSON string literal: quotes, backslashes and control characters
// escaped; bytes that are not UTF-8 become U+FFFD.
std::string jsonString(std::string_view text);

}  // namespace ctl
