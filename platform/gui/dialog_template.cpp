#include "platform/gui/dialog_template.h"

#include <cstdint>
#include <cstdlib>

namespace platform {

int mulDiv(int number, int numerator, int denominator) {
    const std::int64_t product = std::int64_t(number) * numerator;
    const std::int64_t magnitude = (std::llabs(product) * 2 + std::llabs(denominator)) /
                                   (std::int64_t(std::llabs(denominator)) * 2);
    const bool negative = (product < 0) != (denominator < 0);
    return int(negative ? -magnitude : magnitude);
}

}  // namespace platform
