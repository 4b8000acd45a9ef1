// A time zone for the C run time's local-time conversions, set for the length of a test.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

namespace Quorvin::Testing {

/// Sets the C run time's time zone (TZ), and puts the one the process had back at the end. Zones
/// are switched from one to the next: Wine's run time stops applying daylight time once TZ is
/// unset.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        const char* current = std::getenv("TZ");
        hadPrevious = current != nullptr;
        if (hadPrevious) previous = current;
        Switch(zone);
    }
    ~ScopedTimeZone() { Switch(hadPrevious ? previous.c_str() : ""); }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

    /// Makes `zone` the run time's time zone.
    void Switch(const char* zone) {
#if defined(_WIN32)
        _putenv_s("TZ", zone);
        _tzset();
#else
        setenv("TZ", zone, 1);
        tzset();
#endif
    }

private:
    bool hadPrevious = false;
    std::string previous;
};

}  // namespace Quorvin::Testing
