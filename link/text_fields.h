#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pavix {

// Walks the fields of a text split at one separator character the way the C
// runtime's strtok splits it: a run of separators counts as one, and
// separators at the start or the end make no empty fields. The text is
// left untouched.
class CFieldReader {
public:
    CFieldReader(std::string_view text, char separator) : rest_(text), separator_(separator) {}
    virtual ~CFieldReader() = default;

    // The next field, or false when none is left.
    bool Next(std::string_view* field);

private:
    std::string_view rest_;
    char separator_;
};

// The value of the decimal number at the start of `text` the way atoi reads
// it: leading white space skipped, an optional sign, then digits up to the
// first other character; no digits give 0. Values beyond the 32-bit range
// are clamped to it.
std::int32_t LeadingDecimal(std::string_view text);

}  // namespace pavix
