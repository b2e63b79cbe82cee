#include "net/descriptor_limit.h"

#include "net/net_log.h"

#include <sys/resource.h>
#include <cerrno>
#include <cstring>

namespace DescriptorLimit {

bool raiseToHard() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        qCWarning(lcNet) << "cannot read the open-file limit:" << std::strerror(errno);
        return false;
    }
    if (limit.rlim_cur != limit.rlim_max) {
        const rlim_t before = limit.rlim_cur;
        limit.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            qCWarning(lcNet) << "cannot raise the open-file limit:" << std::strerror(errno);
            return false;
        }
        qCInfo(lcNet) << "open-file limit raised from" << before << "to" << limit.rlim_cur;
    }
    return true;
}

}  // namespace DescriptorLimit
