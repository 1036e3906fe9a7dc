#include "protocol.h"

namespace qvd {

Timing& timing()
{
    static Timing values;
    return values;
}

} // namespace qvd
