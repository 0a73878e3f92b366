#include "core/Host.h"

#include <ctime>

int64_t CHost::NowSeconds() {
    return static_cast<int64_t>(std::time(nullptr));
}

CNullHost& CNullHost::Instance() {
    static CNullHost host;
    return host;
}
