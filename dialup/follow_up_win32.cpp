#include "dialup/follow_up.h"

bool StartFollowUpProgram(const std::string&, bool) {
    return false; // not built yet
}
