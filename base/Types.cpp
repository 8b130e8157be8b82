#include "base/Types.h"

#include <string.h>

namespace tavorin {

void SecureWipe(void* data, std::size_t size) noexcept {
    if (data != nullptr && size != 0) {
        explicit_bzero(data, size);
    }
}

} // namespace tavorin
