#include "core/common/Executor.h"

#include <new>

namespace tessarin {

std::string backgroundFailureReason(std::exception_ptr thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& error) {
        return std::string("background task failed: ") + error.what();
    } catch (...) {
        return "background task failed";
    }
}

}  // namespace tessarin
