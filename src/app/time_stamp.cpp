#include "app/time_stamp.h"

#include <limits>

#include "core/messages.h"

namespace qvek {

int parseSourceDateEpoch(const char* text, std::time_t* when) {
    // No sign, blank or base prefix: a build that sets the variable wrongly should hear of it.
    if (text == nullptr || *text == '\0') return -1;
    long long value = 0;
    for (const char* p = text; *p != '\0'; p++) {
        if (*p < '0' || *p > '9') return -1;
        const int digit = *p - '0';
        // Checked before multiplying, so no digit string can overflow.
        if (value > (kLatestSourceDate - digit) / 10) return -1;
        value = value * 10 + digit;
    }
    // A platform with a 32-bit time_t cannot stamp every date up to 9999.
    if (value > std::numeric_limits<std::time_t>::max()) return -1;
    *when = static_cast<std::time_t>(value);
    return 0;
}

void loadFileTimeStamp(AsmState& st, const char* epoch, std::time_t now, char (&stamp)[kTimeStampSize]) {
    if (epoch != nullptr) {
        std::time_t when;
        if (parseSourceDateEpoch(epoch, &when) == 0) {
            formatTimeStamp(stamp, when, true);
            return;
        }
        warning(st,
                "\nWARNING:- SOURCE_DATE_EPOCH '%s' is not a count of seconds from 1970 to 9999. Local time used "
                "for the time stamp !",
                epoch);
    }
    formatTimeStamp(stamp, now, false);
}

}  // namespace qvek
